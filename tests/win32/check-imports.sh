#!/usr/bin/env bash
# lumoedit.exe is one file: it may import only DLLs that every Windows has.
#   check-imports.sh EXE
set -u
exe="$1"
[ -f "$exe" ] || { echo "$exe is missing: build the windows-app target"; echo "0 passed, 1 failed"; exit 1; }
objdump="$(command -v x86_64-w64-mingw32-objdump)" || { echo "x86_64-w64-mingw32-objdump not found"; exit 1; }
# The Win32 API DLLs (and the API sets) of Windows itself; msvcrt.dll is
# the C runtime that comes with Windows.
system='^(kernel32|user32|gdi32|ole32|oleaut32|uxtheme|dwmapi|d3d9|d3d11|d3d12|dxgi|dwrite|shcore|imm32|winmm|ws2_32|advapi32|shell32|shlwapi|comdlg32|comctl32|version|netapi32|userenv|setupapi|wtsapi32|mpr|authz|crypt32|bcrypt|ntdll|rpcrt4|msvcrt|secur32|winspool\.drv|api-ms-win-[a-z0-9-]+)(\.dll)?$'
dlls="$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)"
[ -n "$dlls" ] || { echo "objdump shows no imports of $exe"; echo "0 passed, 1 failed"; exit 1; }
echo "$dlls"
foreign="$(echo "$dlls" | grep -Ev "$system")"
if [ -n "$foreign" ]; then
  echo "lumoedit.exe needs DLLs that Windows does not have: $(echo $foreign)"
  echo "0 passed, 1 failed"
  exit 1
fi
echo "1 passed, 0 failed"
