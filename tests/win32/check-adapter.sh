#!/usr/bin/env bash
# Compiles the Windows-only Qt code (the COM adapter and the Q_OS_WIN
# branches that call the core) with MinGW-w64 against this machine's Qt
# headers, syntax and types only: there is no Qt for MinGW here, but a change
# to the seam that breaks the Windows build shows up at once.
#   check-adapter.sh COMPILER SOURCE_DIR INCLUDE_DIR...
set -u
cxx="$1"
src="$2"
shift 2
includes=(-I"$src/src" -I"$src")
for dir in "$@"; do includes+=(-I"$dir"); done
files=(src/cad/win32/comobjects.cpp protocol/win32/comqtvalue.cpp src/cad/win32/win32windowops.cpp src/tools/zenhanutil.cpp
       src/app/platform.cpp src/app/singleinstance.cpp)
passed=0
failed=0
for f in "${files[@]}"; do
  # -Wno-attributes: this Qt was configured for Linux, its export macros are not MinGW's.
  if "$cxx" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -Wno-attributes -DUNICODE -D_UNICODE \
       "${includes[@]}" "$src/$f"; then
    echo "PASS $f"
    passed=$((passed + 1))
  else
    echo "FAIL $f"
    failed=$((failed + 1))
  fi
done
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
