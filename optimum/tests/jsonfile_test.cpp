#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "optimum/jsonfile.h"

using namespace zeltrac::optimum;
namespace fs = std::filesystem;

namespace {

struct ScratchDir
{
    fs::path path = fs::temp_directory_path() / ("jsonfile_test." + std::to_string(::getpid()));
    ScratchDir() { fs::create_directories(path); }
    ~ScratchDir() { fs::remove_all(path); }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path / name, std::ios::binary) << bytes;
        return (path / name).string();
    }
};

std::string nested(int depth)
{
    return std::string(depth, '[') + std::string(depth, ']');
}

} // namespace

TEST(JsonFile, OnlySmallRegularFilesAreRead)
{
    const ScratchDir dir;
    const std::string limit(kMaxJsonFileBytes, ' ');
    const std::string file = dir.write("c.json", "{}");
    const std::string fifo = (dir.path / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string link = (dir.path / "link").string(), fifoLink = link + "2";
    fs::create_symlink(file, link);
    fs::create_symlink(fifo, fifoLink);
    const std::string tooLarge = "файл больше 1 МиБ (1048576 байт)";
    const std::pair<std::string, std::string> cases[] = {
        {file, ""},
        {link, ""},
        {dir.write("limit.json", limit), ""},
        {dir.write("over.json", limit + " "), tooLarge},
        {fifo, "это не обычный файл"}, // no writer: must not block
        {fifoLink, "это не обычный файл"},
        {"/dev/zero", "это не обычный файл"},
        {"/dev/urandom", "это не обычный файл"},
        {dir.path.string(), "это не обычный файл"},
        {(dir.path / "missing.json").string(), "файл не найден"},
    };
    for (const auto& [path, reason] : cases) {
        std::string text = "old";
        EXPECT_EQ(readJsonFile(path, text), reason) << path;
        EXPECT_EQ(text.empty(), !reason.empty()) << path;
    }
}

TEST(JsonFile, DeepNestingAndRepeatedKeysAreRefusedBriefly)
{
    const std::pair<std::string, std::string> cases[] = {
        {nested(kMaxJsonDepth), ""},
        {nested(kMaxJsonDepth + 1), "вложен глубже 100 уровней"},
        {"{\"forced\": [" + nested(100'000) + "]}", "вложен глубже 100 уровней"},
        {R"({"a": {"b": 1}, "b": [{"b": 2}, {"b": 3}]})", ""},
        {R"({"a": 1, "a": 2})", "называет ключ \"a\" дважды в одном объекте"},
        {R"([{"x": {"a\n": 1, "a\n": 2}}])", "называет ключ \"a\\n\" дважды в одном объекте"},
        {"{\"a\": 1,\n \"b\" 2}", "не является правильным JSON (строка 2, позиция 6)"},
        {"[1e400]", "не является правильным JSON"},
    };
    for (const auto& [text, reason] : cases) {
        nlohmann::ordered_json value = 7;
        EXPECT_EQ(parseJson(text, value), reason) << text.substr(0, 60);
        EXPECT_EQ(value.is_null(), !reason.empty()) << text.substr(0, 60);
    }
}

TEST(JsonFile, ConditionsFileMessagesNameTheFileAndQuoteLittle)
{
    const ScratchDir dir;
    std::string longList = "{\"forced\": [[1, 2], [";
    for (int i = 0; i < 100'000; ++i)
        longList += "1, ";
    longList += "1]]}";
    const struct
    {
        std::string text, message;
    } cases[] = {
        {R"({"max_destinations": {"3": 5, "03": 0}})",
         "Файл условий: \"max_destinations\": станция 3 названа дважды"},
        {R"({"forced": [[1, 2]], "forced": []})",
         "Файл условий называет ключ \"forced\" дважды в одном объекте"},
        {longList, "Файл условий: \"forced\": поезд задается парой станций, а не "
                   "[1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1…"},
        {"{\"max_reprocessed\": {\"" + std::string(5000, '7') + "x\": 1}}",
         "Файл условий: \"max_reprocessed\": \"" + std::string(39, '7') +
             "…"
             " не номер станции"},
    };
    for (const auto& c : cases) {
        const std::string path = dir.write("c.json", c.text);
        Conditions read;
        read.forced = {{1, 2}};
        EXPECT_EQ(loadConditionsFile(path, read), c.message + " (" + path + ")");
        EXPECT_TRUE(read.empty());
    }
    const std::string missing = (dir.path / "missing.json").string();
    Conditions read;
    EXPECT_EQ(loadConditionsFile(missing, read),
              "Файл условий " + missing + " не прочитан: файл не найден");
}

TEST(JsonFile, RepeatedTrainsAreReadOnce)
{
    const ScratchDir dir;
    Conditions read;
    ASSERT_EQ(loadConditionsFile(dir.write("c.json", R"({"forced": [[1, 8], [2, 3], [1, 8]],
        "forbidden": [[4, 5], [4, 5], [4, 5]], "max_destinations": {"03": 1}})"),
                                 read),
              "");
    EXPECT_EQ(read.forced, (std::vector<TrainPair>{{1, 8}, {2, 3}}));
    EXPECT_EQ(read.forbidden, (std::vector<TrainPair>{{4, 5}}));
    EXPECT_EQ(read.maxDestinations, (std::map<int, int>{{3, 1}}));
}
