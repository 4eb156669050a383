#include "optimum/jsonfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <exception>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

namespace zeltrac::optimum {

namespace {

using Json = nlohmann::ordered_json;

std::string number(std::uint64_t value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

const std::string& sizeLimitText()
{
    static const std::string text = "файл больше 1 МиБ (" + number(kMaxJsonFileBytes) + " байт)";
    return text;
}

std::string openFailure(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "файл не найден";
    case EACCES:
    case EPERM:
        return "нет прав на чтение";
    default:
        return "ошибка открытия (код " + number(static_cast<std::uint64_t>(error)) + ")";
    }
}

// Closes the descriptor on every way out.
struct Descriptor
{
    int fd = -1;
    ~Descriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// "(строка L, позиция C)" of a byte offset into the text.
std::string placeOf(const std::string& text, std::size_t offset)
{
    offset = std::min(offset, text.size());
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "(строка " + number(line) + ", позиция " + number(column) + ")";
}

// Thrown out of the parser's callback to stop at once.
struct Refusal
{
    std::string reason;
};

} // namespace

std::string readJsonFile(const std::string& path, std::string& text)
{
    text.clear();
    // O_NONBLOCK: opening a FIFO without a writer returns at once; fstat then
    // tells what was opened before anything is read.
    Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (file.fd < 0)
        return openFailure(errno);
    struct stat status = {};
    if (::fstat(file.fd, &status) != 0)
        return openFailure(errno);
    if (!S_ISREG(status.st_mode))
        return "это не обычный файл";
    if (static_cast<std::uint64_t>(status.st_size) > kMaxJsonFileBytes)
        return sizeLimitText();
    // The file may grow meanwhile: reading stops one chunk over the limit.
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(status.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(file.fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return "ошибка чтения";
        if (n == 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(n));
        if (bytes.size() > kMaxJsonFileBytes)
            return sizeLimitText();
    }
    text = std::move(bytes);
    return {};
}

std::string jsonExcerpt(const Json& value)
{
    std::string text = value.dump(-1, ' ', false, Json::error_handler_t::replace);
    if (text.size() <= kMaxExcerptBytes)
        return text;
    std::size_t cut = kMaxExcerptBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut; // not inside a UTF-8 sequence
    text.resize(cut);
    return text + "…";
}

std::string parseJson(const std::string& text, Json& value)
{
    value = Json();
    // The keys met so far in each object being read, innermost last.
    std::vector<std::set<std::string>> keys;
    const Json::parser_callback_t check = [&keys](int depth, Json::parse_event_t event,
                                                  Json& parsed) {
        using Event = Json::parse_event_t;
        if (event == Event::object_start || event == Event::array_start) {
            if (depth >= kMaxJsonDepth)
                throw Refusal{"вложен глубже " + number(kMaxJsonDepth) + " уровней"};
            if (event == Event::object_start)
                keys.emplace_back();
        } else if (event == Event::object_end) {
            keys.pop_back();
        } else if (event == Event::key && !keys.back().insert(parsed.get<std::string>()).second) {
            throw Refusal{"называет ключ " + jsonExcerpt(parsed) + " дважды в одном объекте"};
        }
        return true;
    };
    try {
        value = Json::parse(text, check, true);
        return {};
    } catch (const Refusal& refusal) {
        value = Json();
        return refusal.reason;
    } catch (const Json::parse_error& error) {
        value = Json();
        return "не является правильным JSON " + placeOf(text, error.byte == 0 ? 0 : error.byte - 1);
    } catch (const std::exception&) {
        value = Json();
        return "не является правильным JSON";
    }
}

std::string loadJsonFile(const std::string& path, const std::string& kind,
                         const std::function<std::string(const std::string&)>& read)
{
    std::string text;
    if (std::string reason = readJsonFile(path, text); !reason.empty())
        return kind + " " + path + " не прочитан: " + reason;
    if (std::string reason = read(text); !reason.empty())
        return reason + " (" + path + ")";
    return {};
}

std::string loadConditionsFile(const std::string& path, Conditions& conditions)
{
    conditions = Conditions{};
    return loadJsonFile(path, "Файл условий",
                        [&](const std::string& text) { return readConditions(text, conditions); });
}

} // namespace zeltrac::optimum
