#!/usr/bin/env bash
# Builds everything and runs every test. Installs what it needs on a fresh Debian 12.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
ctest --test-dir build -j2 --output-on-failure --timeout 300
