#!/usr/bin/env bash
# The reader library as a 64-bit Windows DLL: cross-builds it with mingw-w64
# into build-win, checks that it exports exactly the Linux library's names and
# needs only system DLLs, then runs its Windows test programs under Wine
# against the simulator running as a Linux process (TCP on 127.0.0.1, and its
# pseudo-terminal as Wine's COM21). Installs what it needs on Debian 12.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
win=$root/build-win
linux=$root/build # the plain build test.sh has made already, or makes here

# -- packages: the cross compiler and Wine beside what every stage needs
./tools/setup.sh g++-mingw-w64-x86-64-posix wine64
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

# -- builds: the DLL and its tests for Windows; the Linux library (whose export
# list is the reference) and the simulator host for Linux
lock() { flock /tmp/oskelle-build.lock "$@"; }
cmake -S . -B "$win" -G Ninja --toolchain cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
lock cmake --build "$win" -j2 --target Varrok test_windows_wire test_windows_sim >"$win/build.log" 2>&1 ||
    { tail -n 40 "$win/build.log" >&2; exit 1; }
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
lock cmake --build "$linux" -j2 --target Varrok varrok-sim-host >"$linux/build.log" 2>&1 ||
    { tail -n 40 "$linux/build.log" >&2; exit 1; }

# -- the export table: the same names as the Linux library, nothing else
dll=$win/bin/Varrok.dll
objdump=x86_64-w64-mingw32-objdump
"$objdump" -p "$dll" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' |
    sort >"$win/exports-windows.txt"
nm -D --defined-only "$(find "$linux/reader" "$linux/bin" -name 'libVarrok.so*' -type f 2>/dev/null | head -n1)" |
    awk '{print $3}' | sort >"$win/exports-linux.txt"
if ! diff -u "$win/exports-linux.txt" "$win/exports-windows.txt"; then
    echo "Varrok.dll does not export the Linux library's names (- Linux only, + DLL only)" >&2
    exit 1
fi
echo "   Varrok.dll exports the same $(wc -l <"$win/exports-windows.txt") names as libVarrok.so"
# Only the system's own DLLs: the C++ runtime and winpthread are linked in.
deps=$("$objdump" -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
for d in $deps; do
    case "$d" in
    kernel32.dll | ws2_32.dll | msvcrt.dll | ucrtbase.dll | api-ms-win-*.dll | user32.dll | advapi32.dll) ;;
    *) echo "Varrok.dll needs $d, which Windows does not ship" >&2; exit 1 ;;
    esac
done
echo "   Varrok.dll needs only: $deps"

# -- Wine: a prefix of our own inside build-win, created once, never the user's
export WINEPREFIX=$win/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "   creating the Wine prefix"
    "$wine" wineboot --init >"$win/wineboot.log" 2>&1 || { cat "$win/wineboot.log" >&2; exit 1; }
fi
"$wineserver" -p >/dev/null 2>&1 || true # one server for every program below

# -- the simulator host; it stops when its standard input (our pipe) closes
host_out=$win/sim-host.out
coproc HOST { "$(find "$linux/tests/windows" -name varrok-sim-host -type f | head -n1)" \
                  --dosdevices "$WINEPREFIX/dosdevices" 2>"$win/sim-host.err"; }
host_pid=$HOST_PID
cleanup() {
    kill "$host_pid" 2>/dev/null || true
    "$wineserver" -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
read -r -t 30 line <&"${HOST[0]}" || { echo "the simulator host did not start" >&2; cat "$win/sim-host.err" >&2; exit 1; }
export VARROK_SIM_CONTROL=${line#control }

status=0
for program in test_windows_wire test_windows_sim; do
    echo "   $program.exe under Wine"
    if ! (cd "$win/bin" && timeout 600 "$wine" "./$program.exe" --gtest_brief=1 >"$win/$program.log" 2>&1); then
        grep -v '^\[       OK \]\|^\[ RUN' "$win/$program.log" | tail -n 60 >&2
        echo "$program failed under Wine; its whole output is in $win/$program.log" >&2
        status=1
    else
        grep -E '^\[  PASSED  \]' "$win/$program.log" | sed 's/^/   /'
    fi
done
exit $status
