#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need, when
# missing, and the packages named as arguments (a stage that needs more). apt's
# own output goes to a log file; only its name is printed.
# With --demo, only what the demo builds: the compiler, the JSON library the
# simulator reads scenarios and dumps with, and, with --gui as
# well, Qt for the card tool.
set -euo pipefail
build_tools=(cmake ninja-build g++ nlohmann-json3-dev)
gui=(qt6-base-dev qt6-serialport-dev qt6-translations-l10n fonts-dejavu-core fonts-wqy-microhei)
if [ "${1:-}" = "--demo" ]; then
    shift
    packages=("${build_tools[@]}")
    if [ "${1:-}" = "--gui" ]; then
        shift
        packages+=("${gui[@]}")
    fi
    packages+=("$@")
else
    packages=("${build_tools[@]}" binutils clang libclang-rt-14-dev libgtest-dev libgmock-dev libssl-dev strace tshark
              libcli11-dev nlohmann-json3-dev "${gui[@]}" xvfb xauth "$@")
fi
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "These Debian packages are missing: ${missing[*]}" >&2
        echo "Installing them needs root: run this script as root, or have root run" >&2
        echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    as_root=(sudo)
fi
log=$(mktemp "${TMPDIR:-/tmp}/varrok-apt.XXXXXX")
echo "== installing Debian packages: ${missing[*]}"
echo "   (apt's output: $log)"
if ! { "${as_root[@]}" apt-get update -qq &&
       "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
           "${missing[@]}"; } >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "installing the packages failed; the whole of apt's output is in $log" >&2
    exit 1
fi
