#pragma once
// Whole-string width folding with the system's own mapping (LCMapStringW,
// LCMAP_FULLWIDTH / LCMAP_HALFWIDTH, system default locale). The result may
// be shorter or longer than the input (a voiced letter and its sound mark).

#include <string>

namespace cad::win32 {

std::wstring foldWidth(const std::wstring &s, bool toFullWidth);
// The same over UTF-16 code units, for callers that keep their text that way.
std::u16string foldWidth(const std::u16string &s, bool toFullWidth);

} // namespace cad::win32
