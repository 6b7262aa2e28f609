#pragma once
// What the Wine tests and their automation server agree on.

#include <windows.h>

namespace lumotest {

inline constexpr wchar_t kProgId[] = L"LumoTest.AcadApplication";
// Registered, but nothing of it ever runs.
inline constexpr wchar_t kIdleProgId[] = L"LumoTest.IdleApplication";
// {6F1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}
inline constexpr CLSID kClsid = {0x6f1b2c3d, 0x4e5f, 0x4a6b, {0x8c, 0x7d, 0x9e, 0x0f, 0x1a, 0x2b, 0x3c, 0x4d}};
// {6F1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4E}
inline constexpr CLSID kIdleClsid = {0x6f1b2c3d, 0x4e5f, 0x4a6b, {0x8c, 0x7d, 0x9e, 0x0f, 0x1a, 0x2b, 0x3c, 0x4e}};
// The application's main window handle as HWND reports it.
inline constexpr long long kServerHwnd = 0x1234;

} // namespace lumotest
