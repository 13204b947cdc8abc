#!/bin/bash
# Runs inside the clean root once our packages are installed, and uses each
# one as its user would: builds the examples with pkg-config and with
# find_package(Varrok), runs them against the installed simulator, runs the
# command-line programs, imports the Python package and opens the card tool
# on an X server, where its main window must appear.
set -euo pipefail
cd "$(dirname "$0")"
examples=/usr/share/doc/libvarrok-dev/examples
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"; }
fail() {
    echo "FAILED: $*" >&2
    exit 1
}

echo "-- examples built with pkg-config --cflags --libs varrok"
mkdir -p bin
for src in "$examples"/*.c; do
    # shellcheck disable=SC2046 # pkg-config's words are separate arguments
    cc -Wall -o "bin/$(basename "$src" .c)" "$src" $(pkg-config --cflags --libs varrok)
done
echo "-- a CMake project with find_package(Varrok)"
cmake -S consumer -B consumer-build -DEXAMPLE="$examples/find_reader.c" >consumer.log
cmake --build consumer-build >>consumer.log

echo "-- the simulator: man page, --help, and a reader with the demo cards"
test -s /usr/share/man/man1/varrok-sim.1.gz || fail "no man page for varrok-sim"
varrok-sim --help | grep -q -- "--scenario" || fail "varrok-sim --help"
varrok-sim --tcp 0 --pty --scenario /usr/share/varrok-sim/scenarios/demo.json --exit-after 120 >sim.out 2>sim.err &
sim=$!
tool=""
xserver=""
trap 'kill $sim $tool $xserver 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    grep -q '^pty ' sim.out && grep -q '^tcp ' sim.out && break
    sleep 0.05
done
tcp=$(sed -n 's/^tcp //p' sim.out)
pty=$(sed -n 's/^pty //p' sim.out)
if [ -z "$tcp" ] || [ -z "$pty" ]; then fail "the simulator did not start: $(cat sim.err)"; fi

for program in bin/find_reader consumer-build/find_reader_cmake; do
    "$program" "TCP://$tcp" >"$(basename "$program").out"
    grep -q "^serial number" "$(basename "$program").out" || fail "$program did not read the reader"
    grep -q "^Type A card 1" "$(basename "$program").out" || fail "$program found no card"
done
VARROK_COM7="$pty" bin/find_reader COM7:115200 | grep -q "^serial number" || fail "find_reader over the pty"

if [ -x /usr/bin/varrok ]; then
    echo "-- the command-line tool: --version and man page"
    echo "   $(varrok --version)"
    varrok --help >/dev/null
    test -s /usr/share/man/man1/varrok.1.gz || fail "no man page for varrok"
fi

if installed python3-varrok; then
    echo "-- the Python package"
    # The library is loaded on first use: a call proves the package finds the installed one.
    python3 -c 'import varrok, varrok.testing; assert varrok.library_version() == 26646; print("   imported from", varrok.__file__)'
fi

if installed varrok-pcsc; then
    echo "-- the PC/SC driver"
    test -f /usr/lib/pcsc/drivers/serial/libvarrok_ifd.so || fail "driver not where pcscd looks"
    ! grep -rqs varrok_ifd /etc/reader.conf.d || fail "a reader is declared by default"
fi

echo "-- the card tool on an X server, connected to the simulator's pseudo-terminal"
Xvfb :9 -nolisten tcp -screen 0 1280x1024x24 >xvfb.log 2>&1 &
xserver=$!
for _ in $(seq 100); do
    [ -e /tmp/.X11-unix/X9 ] && break
    sleep 0.05
done
mkdir -p home config runtime
chmod 700 runtime
DISPLAY=:9 HOME=$PWD/home XDG_CONFIG_HOME=$PWD/config XDG_RUNTIME_DIR=$PWD/runtime VARROK_COM1="$pty" \
    oskelle >oskelle.log 2>&1 &
tool=$!
window=""
for _ in $(seq 150); do
    window=$(DISPLAY=:9 xwininfo -root -tree | grep -E '"Oskelle  -  ' | awk '{print $1}' | head -n 1) || true
    if [ -n "$window" ] && DISPLAY=:9 xwininfo -id "$window" | grep -q "Map State: IsViewable"; then break; fi
    window=""
    kill -0 $tool 2>/dev/null || fail "the card tool stopped: $(cat oskelle.log)"
    sleep 0.2
done
[ -n "$window" ] || fail "no main window of the card tool within 30 s: $(cat oskelle.log)"
echo "   main window shown: $(DISPLAY=:9 xwininfo -id "$window" | sed -n 's/^xwininfo: Window id: //p')"
kill $tool
wait $tool 2>/dev/null || true
tool=""
echo "-- everything works as installed"
