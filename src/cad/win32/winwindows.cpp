#include "cad/win32/winwindows.h"

namespace cad::win32 {

HWND findWindowByTitle(const std::wstring &title)
{
    return FindWindowW(nullptr, title.c_str());
}

HWND findWindowByClass(const std::wstring &className)
{
    return FindWindowW(className.c_str(), nullptr);
}

bool isIconic(HWND w)
{
    return w && IsIconic(w);
}

void openIcon(HWND w)
{
    if (w)
        OpenIcon(w);
}

void setForegroundWindow(HWND w)
{
    if (w)
        SetForegroundWindow(w);
}

HWND foregroundWindow()
{
    return GetForegroundWindow();
}

void bringWindowToTop(HWND w)
{
    if (w)
        BringWindowToTop(w);
}

DWORD windowThreadId(HWND w)
{
    return w ? GetWindowThreadProcessId(w, nullptr) : 0;
}

void attachThreadInput(DWORD from, DWORD to, bool attach)
{
    if (from && to && from != to)
        AttachThreadInput(from, to, attach ? TRUE : FALSE);
}

void sendEscape()
{
    keybd_event(VK_ESCAPE, 0, 0, 0);
    keybd_event(VK_ESCAPE, 0, KEYEVENTF_KEYUP, 0);
}

void sleepMs(int ms)
{
    if (ms > 0)
        Sleep(DWORD(ms));
}

bool setTopmost(HWND w, bool topmost)
{
    if (!w)
        return false;
    return SetWindowPos(w, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE) != FALSE;
}

bool drawMarkerOn(HDC dc, const MarkerShape &m)
{
    if (!dc)
        return false;
    HPEN pen = CreatePen(PS_SOLID, m.penWidth, m.colour);
    if (!pen)
        return false;
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const int oldMode = m.xorPen ? SetROP2(dc, R2_XORPEN) : 0;
    MoveToEx(dc, m.tip.x, m.tip.y, nullptr);
    LineTo(dc, m.upper.x, m.upper.y);
    LineTo(dc, m.lower.x, m.lower.y);
    LineTo(dc, m.tip.x, m.tip.y);
    if (m.xorPen && oldMode)
        SetROP2(dc, oldMode);
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    return true;
}

bool drawMarker(HWND w, const MarkerShape &marker)
{
    // GetDC(nullptr) would be the whole screen.
    if (!w || !IsWindow(w))
        return false;
    HDC dc = GetDC(w);
    if (!dc)
        return false;
    const bool ok = drawMarkerOn(dc, marker);
    ReleaseDC(w, dc);
    return ok;
}

// WindowClassOverride

namespace {

using CreateWindowExWFn = HWND(WINAPI *)(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE,
                                         LPVOID);

// One override at a time; all on the thread that made it.
struct OverrideState {
    CreateWindowExWFn original = nullptr;
    std::wstring className;
    DWORD thread = 0;
    bool armed = false;
    HWND window = nullptr;
} g_override;

HWND WINAPI createWindowHook(DWORD exStyle, LPCWSTR cls, LPCWSTR title, DWORD style, int x, int y, int w, int h,
                             HWND parent, HMENU menu, HINSTANCE instance, LPVOID param)
{
    OverrideState &o = g_override;
    // An atom instead of a name cannot be looked up by GetClassInfoExW below.
    if (o.armed && GetCurrentThreadId() == o.thread && !(style & WS_CHILD) && cls && !IS_INTRESOURCE(cls)) {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        if (GetClassInfoExW(instance, cls, &wc)) {
            wc.hInstance = instance;
            wc.lpszClassName = o.className.c_str();
            WNDCLASSEXW existing{};
            existing.cbSize = sizeof(existing);
            if (GetClassInfoExW(instance, o.className.c_str(), &existing) || RegisterClassExW(&wc)) {
                o.armed = false;
                o.window = o.original(exStyle, o.className.c_str(), title, style, x, y, w, h, parent, menu, instance,
                                      param);
                return o.window;
            }
        }
    }
    return o.original(exStyle, cls, title, style, x, y, w, h, parent, menu, instance, param);
}

// The import slots of user32!CreateWindowExW in one loaded module.
void collectSlots(HMODULE module, std::vector<void **> &out)
{
    auto *base = reinterpret_cast<BYTE *>(module);
    auto *dos = reinterpret_cast<IMAGE_DOS_HEADER *>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return;
    auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return;
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress)
        return;
    for (auto *d = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress); d->Name; ++d) {
        if (lstrcmpiA(reinterpret_cast<const char *>(base + d->Name), "user32.dll") != 0 || !d->OriginalFirstThunk)
            continue;
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
        auto *iat = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++iat) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto *byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char *>(byName->Name), "CreateWindowExW") == 0)
                out.push_back(reinterpret_cast<void **>(&iat->u1.Function));
        }
    }
}

bool writeSlot(void **slot, void *value)
{
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof(void *), PAGE_READWRITE, &old))
        return false;
    *slot = value;
    VirtualProtect(slot, sizeof(void *), old, &old);
    return true;
}

} // namespace

WindowClassOverride::WindowClassOverride(const std::wstring &className)
{
    if (g_override.original)
        return; // another override is active: this one does nothing
    std::vector<void **> slots;
    collectSlots(GetModuleHandleW(nullptr), slots);
    // A Qt built as DLLs creates its windows in the platform plugin.
    for (const wchar_t *plugin : {L"qwindows.dll", L"qwindowsd.dll"}) {
        if (HMODULE m = GetModuleHandleW(plugin))
            collectSlots(m, slots);
    }
    if (slots.empty())
        return;
    g_override.original = reinterpret_cast<CreateWindowExWFn>(*slots.front());
    g_override.className = className;
    g_override.thread = GetCurrentThreadId();
    g_override.armed = true;
    g_override.window = nullptr;
    for (void **slot : slots) {
        void *original = *slot;
        if (writeSlot(slot, reinterpret_cast<void *>(&createWindowHook)))
            m_slots.push_back({slot, original});
    }
    if (m_slots.empty())
        g_override = {};
}

WindowClassOverride::~WindowClassOverride()
{
    if (m_slots.empty())
        return;
    for (const Slot &s : m_slots)
        writeSlot(s.address, s.original);
    g_override.armed = false;
    g_override.original = nullptr;
}

HWND WindowClassOverride::window() const
{
    return m_slots.empty() ? nullptr : g_override.window;
}

} // namespace cad::win32
