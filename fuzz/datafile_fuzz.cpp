// libFuzzer target: loading an initial-data file from any bytes. The file
// loader, which reads no further than it needs, must agree with splitting the
// whole text at once; whatever loads must save and load again unchanged.

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "calc/error.h"
#include "datafile/datafile.h"

using namespace zeltrac;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool sameData(const datafile::InitialData& a, const datafile::InitialData& b)
{
    return a.stationCount == b.stationCount && a.stationParams == b.stationParams &&
           a.flows == b.flows;
}

struct Outcome
{
    std::optional<datafile::InitialData> data;
    std::string error;
};

template <typename Load> Outcome attempt(Load load)
{
    Outcome outcome;
    try {
        outcome.data = load();
    } catch (const Error& e) {
        outcome.error = e.what();
    }
    return outcome;
}

const QString& scratchFile()
{
    static QTemporaryDir dir;
    static const QString path = QDir(dir.path()).filePath(QStringLiteral("input.dat"));
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    // Longer inputs may hold a line over the limit, which is refused.
    if (size > std::size_t(datafile::kMaxLineBytes))
        return 0;
    const QByteArray text(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));

    const QStringList lines = datafile::decodeLines(text);
    const Outcome whole = attempt([&] { return datafile::fromLines(lines); });

    // A line limit gives the first lines only.
    const qsizetype limit = size == 0 ? 0 : bytes[0] % 16;
    check(datafile::decodeLines(text, limit) == lines.mid(0, limit));

    QFile file(scratchFile());
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    check(file.write(text) == text.size());
    file.close();
    const Outcome loaded = attempt([] { return datafile::load(scratchFile()); });
    check(loaded.error == whole.error);
    check(loaded.data.has_value() == whole.data.has_value());
    if (!whole.data)
        return 0;
    check(sameData(*loaded.data, *whole.data));

    // Every loaded text can be saved, and reads back the same.
    const QByteArray saved = datafile::encodeLines(datafile::toLines(*whole.data));
    const datafile::InitialData again = datafile::fromLines(datafile::decodeLines(saved));
    check(sameData(again, *whole.data));
    check(datafile::encodeLines(datafile::toLines(again)) == saved);
    return 0;
}
