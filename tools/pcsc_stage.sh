#!/usr/bin/env bash
# The PC/SC driver against a real pcscd: builds the driver and the simulator,
# then runs tests/pcsc with pytest. The tests start the simulator and a pcscd
# of their own (own reader configuration, own socket handed over by
# systemd-socket-activate; never the system's daemon) and stop both at the end.
# Takes about half a minute once built.
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup.sh pcscd libpcsclite-dev pcsc-tools python3-pyscard python3-pytest opensc systemd
build=${VARROK_BUILD:-$PWD/build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target varrok_ifd varrok-sim pcsc_bench >/dev/null
# Debian's pyscard lives beside the system's Python, whatever python3 is first on PATH.
VARROK_BUILD=$build timeout 600 /usr/bin/python3 -m pytest -q -p no:cacheprovider tests/pcsc
