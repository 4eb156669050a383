// libFuzzer target: reading a conditions file from any bytes. Reading never
// crashes or throws and quotes little; the file reader agrees with the text
// reader; whatever is read writes and reads back the same.

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "optimum/conditions.h"
#include "optimum/jsonfile.h"

using namespace zeltrac::optimum;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

const std::string& scratchFile()
{
    static const std::string path = (std::filesystem::temp_directory_path() /
                                     ("conditions_fuzz." + std::to_string(::getpid()) + ".json"))
                                        .string();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    Conditions read;
    read.forced = {{1, 2}};
    const std::string error = readConditions(text, read);
    // A reason is a sentence, not an echo of the input.
    check(error.size() < 400);
    check(error.empty() || read.empty());

    {
        std::ofstream file(scratchFile(), std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    Conditions loaded;
    const std::string loadError = loadConditionsFile(scratchFile(), loaded);
    check(loadError.empty() == error.empty());
    check(loadError.empty() ? loaded == read : loadError == error + " (" + scratchFile() + ")");
    if (!error.empty())
        return 0;

    const std::string written = writeConditions(read);
    Conditions again;
    check(readConditions(written, again).empty());
    check(again == read);
    check(writeConditions(again) == written);
    return 0;
}
