#!/usr/bin/env bash
# Builds everything and runs every test: the plain build, the same tests under
# AddressSanitizer and UndefinedBehaviorSanitizer, the threads test under
# ThreadSanitizer, and a short fuzzing run of every fuzz target. Installs what
# it needs on a fresh Debian 12.
set -euo pipefail
cd "$(dirname "$0")"
./tools/setup.sh python3-pytest python3-setuptools python3-pip

echo "== build and test"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARROK_TESTS=ON -DVARROK_CARDTOOL=ON -DVARROK_CLI=ON >/dev/null
cmake --build build -j2
ctest --test-dir build -j2 --output-on-failure --timeout 300

echo "== build and test with sanitizers"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVARROK_SANITIZE=ON >/dev/null
cmake --build build-asan -j2 --target test_link test_commands test_crypto test_simulator test_endtoend test_threads \
    test_cardtool test_cli test_formats test_pcsc
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan -j2 --output-on-failure --timeout 600

echo "== build and test with ThreadSanitizer"
# Only the threads test: many readers driven from many threads, the library
# and the in-process simulator both instrumented.
CC=clang CXX=clang++ cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVARROK_TSAN=ON >/dev/null
cmake --build build-tsan -j2 --target test_threads
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ./build-tsan/tests/test_threads

echo "== Windows DLL under Wine" && ./tools/windows_stage.sh
echo "== PC/SC driver" && ./tools/pcsc_stage.sh
echo "== packages" && ./tools/package_stage.sh
echo "== fuzzing self-check"
./tools/fuzz.sh --self-check
echo "== fuzzing, ${VARROK_FUZZ_SECONDS:-30}s per target"
VARROK_FUZZ_SEED=${VARROK_FUZZ_SEED:-1} ./tools/fuzz.sh "${VARROK_FUZZ_SECONDS:-30}"
echo "== all green"
