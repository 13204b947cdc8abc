#!/usr/bin/env bash
# Starts the reader simulator on loopback with a demo card field, then runs
# the example program against it over TCP and over a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target varrok-sim find_reader >/dev/null

out=$(mktemp)
trap 'kill "$sim" 2>/dev/null || true; rm -f "$out"' EXIT
build/simulator/varrok-sim --tcp 0 --pty --scenario simulator/scenarios/demo.json --exit-after 60 >"$out" &
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

echo "== reader on TCP ${tcp}"
build/examples/find_reader "TCP://${tcp}"
echo
echo "== reader on COM7 (pseudo-terminal ${pty})"
VARROK_COM7="$pty" build/examples/find_reader "COM7:115200"
