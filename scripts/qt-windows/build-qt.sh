#!/usr/bin/env bash
# The recipe of the project's Qt for Windows: configures, builds and installs
# a minimal static Qt 6.4.2 (Core, Gui, Widgets, Test, the windows platform
# plugin) for x86_64-w64-mingw32 with POSIX threads, from Debian's qt6-base
# source, with the Linux host tools of the same version in /usr as
# QT_HOST_PATH. Called by scripts/build-qt-windows; this file, the toolchain
# file and the patch beside it make the cache key, so any change here builds
# a new Qt.
#
#   build-qt.sh SOURCE_DIR BUILD_DIR PREFIX STAGE [JOBS]
#
# Qt is configured for PREFIX but installed under STAGE (DESTDIR), so that
# the caller can move STAGE/PREFIX into place in one step. Qt's installed
# qt.toolchain.cmake chain-loads the toolchain file beside this script; the
# caller points it at the copy in the prefix.
#
# Why each flag:
# - BUILD_SHARED_LIBS=OFF, FEATURE_static_runtime: one self-contained exe.
# - INPUT_opengl=no (FEATURE_opengl=OFF would leave dynamic OpenGL on),
#   FEATURE_vulkan=OFF: not used.
# - FEATURE_direct2d=OFF, FEATURE_tabletevent=OFF: Debian's +dfsg tarball has
#   no src/3rdparty/wintab, which both include.
# - QT_HOST_PATH_CMAKE_DIR: Qt would guess /usr/lib/cmake, which has no Qt6.
# - FEATURE_windeployqt/androiddeployqt=OFF: the Linux host Qt has neither
#   tool, and a cross build would look them up.
# - bundled zlib, pcre2, png, freetype, harfbuzz: nothing outside the prefix.
# - dbus, network, sql, printsupport, concurrent, xml, icu, zstd, jpeg: unused.
# The patch: with direct2d off, qwindows still instantiated the DirectWrite
# font database that Gui compiles only with direct2d (undefined reference).
set -euo pipefail

src="${1:?usage: build-qt.sh SOURCE_DIR BUILD_DIR PREFIX STAGE [JOBS]}"
build="${2:?}"
prefix="${3:?}"
stage="${4:?}"
jobs="${5:-2}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
nice=(nice -n 19)

grep -q 'QT_REPO_MODULE_VERSION "6.4.2"' "$src/.cmake.conf" || {
  echo "build-qt.sh: $src is not the qt6-base 6.4.2 source" >&2; exit 1; }

for p in "$here"/*.patch; do
  if patch -d "$src" -p1 -R --dry-run -s -f <"$p" >/dev/null 2>&1; then
    echo "already applied: $(basename "$p")"
  else
    patch -d "$src" -p1 -f <"$p"
  fi
done

if [ ! -f "$build/build.ninja" ]; then
  mkdir -p "$build"
  "${nice[@]}" cmake -G Ninja -S "$src" -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64-posix.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr \
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
    -DBUILD_SHARED_LIBS=OFF \
    -DFEATURE_static_runtime=ON \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON \
    -DFEATURE_dbus=OFF -DFEATURE_network=OFF -DFEATURE_sql=OFF \
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
    -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_direct2d=OFF \
    -DFEATURE_tabletevent=OFF \
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_jpeg=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_png=OFF -DFEATURE_system_doubleconversion=OFF \
    -DFEATURE_system_textmarkdownreader=OFF \
    -DFEATURE_windeployqt=OFF -DFEATURE_androiddeployqt=OFF
  [ -f "$build/build.ninja" ] || { echo "build-qt.sh: configure failed" >&2; exit 1; }
fi
[ "${LUMO_QT_CONFIGURE_ONLY:-0}" = 1 ] && exit 0

"${nice[@]}" cmake --build "$build" --parallel "$jobs"
DESTDIR="$stage" "${nice[@]}" cmake --install "$build"
cp "$here/mingw-w64-posix.cmake" "$stage$prefix/mingw-w64-posix.cmake"
