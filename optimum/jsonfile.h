#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "optimum/conditions.h"

// Reading the small JSON files of the analysis (conditions, plans) safely:
// whatever a file holds, reading it takes bounded time and memory, and the
// reasons given quote at most a short excerpt of it.
namespace zeltrac::optimum {

// A conditions or plan file is a few kilobytes; anything larger is not one.
inline constexpr std::size_t kMaxJsonFileBytes = std::size_t{1} << 20;
// Far above any file the program writes (three levels).
inline constexpr int kMaxJsonDepth = 100;
// The longest excerpt of a value or a key quoted in a reason, in bytes.
inline constexpr std::size_t kMaxExcerptBytes = 40;

// Reads a whole file into `text`: only a regular file (or a link to one), at
// most kMaxJsonFileBytes, never blocking on a FIFO or a device. Empty text
// when read, else the reason ("это не обычный файл", ...), which fits after
// "Файл ... не прочитан: ". Never throws.
std::string readJsonFile(const std::string& path, std::string& text);

// Parses JSON text: nesting at most kMaxJsonDepth, an object naming one key
// twice refused. Empty text when parsed, else the reason ("не является
// правильным JSON (строка 1, позиция 5)", ...), which fits after "Файл ...".
// Never throws.
std::string parseJson(const std::string& text, nlohmann::ordered_json& value);

// The value as JSON text, escaped, cut to at most kMaxExcerptBytes (ending in
// "…" when cut).
std::string jsonExcerpt(const nlohmann::ordered_json& value);

// Reads the file and hands its text to `read`, which returns the reason it
// refuses the text or the empty text. Empty text when read, else the whole
// message naming the file: "<kind> PATH не прочитан: ..." when it cannot be
// read, "<reason> (PATH)" when `read` refuses it.
std::string loadJsonFile(const std::string& path, const std::string& kind,
                         const std::function<std::string(const std::string&)>& read);

// The conditions file, built on the above, used by the window and
// zeltrac-cli alike. Empty text when read, else the whole message naming the
// file; `conditions` are then left empty.
std::string loadConditionsFile(const std::string& path, Conditions& conditions);

} // namespace zeltrac::optimum
