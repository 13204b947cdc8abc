#!/usr/bin/env bash
# Starts the simulator with a Classic card and a pcscd of our own serving it
# through the driver, runs pcsc_bench, and stops both whatever happens.
#   bench/pcsc/run_bench.sh [BUILD DIR] [READS]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
run=$(mktemp -d "${TMPDIR:-/tmp}/varrok-pcsc-bench.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$run"
}
trap cleanup EXIT
coproc SIM { exec "$build/simulator/varrok-sim" --tcp 0 --scenario tests/pcsc/field.json --hand 2>/dev/null; }
pids+=("$SIM_PID")
echo "only 1" >&"${SIM[1]}"
read -r -t 10 line <&"${SIM[0]}"
port=${line##*:}
mkdir "$run/conf"
sed -e "s|TCP://127.0.0.1:4000|TCP://127.0.0.1:$port|" -e "s|build/pcsc/libvarrok_ifd.so|$build/pcsc/libvarrok_ifd.so|" \
    pcsc/reader.conf.d/varrok-simulator >"$run/conf/varrok"
export PCSCLITE_CSOCK_NAME=$run/pcscd.comm
systemd-socket-activate -l "$PCSCLITE_CSOCK_NAME" pcscd -f -c "$run/conf" >"$run/pcscd.log" 2>&1 &
pids+=("$!")
for _ in $(seq 50); do
    opensc-tool -l 2>/dev/null | grep -q "Varrok simulator 00 00" && break
    sleep 0.2
done
sleep 1 # the card found
"$build/bench/pcsc/pcsc_bench" "$port" "Varrok simulator 00 00" "${2:-500}"
