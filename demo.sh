#!/usr/bin/env bash
# Starts the reader simulator with a demo card field. With a display, opens
# the card tool on it (COM1 is the simulator's pseudo-terminal, and the tool
# gets a fresh settings store of its own); closing the window stops the
# simulator. Without a display, runs the example program over TCP and over
# the pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")"
with_display=""
cardtool=OFF
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then with_display=1 cardtool=ON; fi
# Only what the demo builds: the compiler, and Qt when the card tool will show.
./tools/setup.sh --demo ${with_display:+--gui}

# Builds the given targets, saying so; on failure shows the compiler's complaint.
build() {
    local log
    log=$(mktemp "${TMPDIR:-/tmp}/varrok-build.XXXXXX")
    echo "== building $* (the first build takes a few minutes; output in $log)"
    # The tests and the card tool are left out when not needed; ./test.sh turns them back on.
    if ! { cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARROK_TESTS=OFF -DVARROK_CLI=OFF \
               -DVARROK_CARDTOOL=$cardtool &&
           cmake --build build -j2 --target "$@"; } \
        >"$log" 2>&1; then
        grep -E -A5 "error|Error" "$log" | head -n 40 >&2 || tail -n 40 "$log" >&2
        echo "the build failed; the whole output is in $log" >&2
        echo "remove the build folder (rm -rf build) and run ./demo.sh again; if it fails again, report the lines above" >&2
        exit 1
    fi
}

if [ -n "$with_display" ]; then
    build varrok-sim Oskelle
else
    build varrok-sim find_reader
fi

out=$(mktemp)
config=$(mktemp -d)
trap 'kill "$sim" 2>/dev/null || true; rm -rf "$out" "$config"' EXIT
if [ -n "$with_display" ]; then
    # The terminal becomes the hand that moves cards on and off the reader.
    exec 3<&0
    build/simulator/varrok-sim --tcp 0 --pty --scenario simulator/scenarios/demo.json --hand \
        --exit-after 86400 >"$out" <&3 &
else
    build/simulator/varrok-sim --tcp 0 --pty --scenario simulator/scenarios/demo.json --exit-after 60 >"$out" &
fi
sim=$!
for _ in $(seq 100); do
    grep -q '^pty ' "$out" && grep -q '^tcp ' "$out" && break
    sleep 0.05
done
tcp=$(sed -n 's/^tcp //p' "$out")
if [ -z "$tcp" ]; then
    echo "the simulator did not start" >&2
    exit 1
fi
pty=$(sed -n 's/^pty //p' "$out")

if [ -n "$with_display" ]; then
    echo "== card tool on COM1 (pseudo-terminal ${pty}); the reader also listens on TCP ${tcp}"
    echo "   Type here to move cards: 'only N' leaves card N alone on the reader (a search"
    echo "   finds one card at a time), 'all' puts every card back, 'cards' lists them."
    echo "   Close the window to stop the demo."
    VARROK_COM1="$pty" XDG_CONFIG_HOME="$config" build/bin/Oskelle </dev/null
    exit 0
fi

echo "== reader on TCP ${tcp}"
build/examples/find_reader "TCP://${tcp}"
echo
echo "== reader on COM7 (pseudo-terminal ${pty})"
VARROK_COM7="$pty" build/examples/find_reader "COM7:115200"
echo
echo "To see the card tool, run ./demo.sh from a desktop session (DISPLAY or WAYLAND_DISPLAY set)."
