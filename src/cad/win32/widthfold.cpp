#include "cad/win32/widthfold.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace cad::win32 {

namespace {

// Asks for the length first; the text is left as it is when the mapping fails.
template <typename String>
String fold(const String &s, bool toFullWidth)
{
    static_assert(sizeof(typename String::value_type) == sizeof(WCHAR));
    if (s.empty())
        return s;
    const DWORD flag = toFullWidth ? LCMAP_FULLWIDTH : LCMAP_HALFWIDTH;
    const auto src = reinterpret_cast<LPCWSTR>(s.data());
    const int srcLen = int(s.size());
    const int needed = LCMapStringW(LOCALE_SYSTEM_DEFAULT, flag, src, srcLen, nullptr, 0);
    if (needed <= 0)
        return s;
    String out(size_t(needed), typename String::value_type(0));
    const int written = LCMapStringW(LOCALE_SYSTEM_DEFAULT, flag, src, srcLen, reinterpret_cast<LPWSTR>(out.data()), needed);
    if (written <= 0)
        return s;
    out.resize(size_t(written));
    return out;
}

} // namespace

std::wstring foldWidth(const std::wstring &s, bool toFullWidth)
{
    return fold(s, toFullWidth);
}

std::u16string foldWidth(const std::u16string &s, bool toFullWidth)
{
    return fold(s, toFullWidth);
}

} // namespace cad::win32
