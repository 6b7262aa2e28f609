#!/usr/bin/env bash
# The COM road's figures: bench_com.exe under Wine, attaching through the
# tool's COM client to minicad's COM host in another Wine process.
#   run-com-bench.sh [BUILD_DIR] [n] [search sizes...]
# BUILD_DIR defaults to build/; bench_com.exe is built here first (it is not
# part of the default build). A throw-away prefix under /tmp.
set -u
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build}"
shift || true
app="$build/windows-app"

. "$(dirname "$0")/wine-prefix.sh"

[ -d "$app" ] || skip "no Windows build in $app: run scripts/build first"
cmake --build "$app" --target bench_com minicad-com >/dev/null || { echo "building bench_com failed"; exit 1; }
bench="$app/tests/win32/bench_com.exe"
host="$app/minicad/com/minicad-com.exe"

com_road bench "$host"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
timeout 1800 "$wine" "$bench" -platform offscreen "$@"
rc=$?
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $rc
