#pragma once

#include <array>

// The single-byte code page of the program's files, windows-1251.
namespace zeltrac::datafile {

inline constexpr const char* kCodePage = "windows-1251";

// The character each byte stands for. Bytes the code page leaves unassigned
// keep the character of the same number, which encodes back to that byte, so
// every byte survives a load and a save. Throws zeltrac::Error when the
// system has no windows-1251 converter.
const std::array<char16_t, 256>& codePageChars();

} // namespace zeltrac::datafile
