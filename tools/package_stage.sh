#!/usr/bin/env bash
# Builds the Debian packages, checks them with lintian, desktop-file-validate
# and appstreamcli, then proves them in a clean Debian 12 root: apt installs
# them there with their dependencies, packaging/check/in_root.sh uses every
# package as a user would, and after removal nothing of ours may be left.
#
# The clean root (debootstrap minbase, plus the compiler, CMake, pkg-config
# and an X server the check itself uses) is made once and kept in
# VARROK_ROOT_CACHE (default /var/cache/varrok-root), with apt's downloads;
# every run works on a fresh copy of it. Needs root (chroot, mount).
set -euo pipefail
cd "$(dirname "$0")/.."
./tools/setup.sh debootstrap lintian desktop-file-utils appstream help2man dpkg-dev file

build=${VARROK_PACKAGE_BUILD:-build}
cache=${VARROK_ROOT_CACHE:-/var/cache/varrok-root}
base=$cache/bookworm
root=$cache/work
logs=$PWD/$build/package-logs
mkdir -p "$logs" "$cache/archives"

# The Debian 12 mirror this machine's apt already uses.
debian_mirror() {
    local files=() f
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && files+=("$f")
    done
    [ ${#files[@]} -gt 0 ] || return 0
    {
        # One-line style: "deb [options] URI bookworm components".
        sed -E -n 's/^deb\s+(\[[^]]*\]\s+)?(\S+)\s+bookworm\s.*/\2/p' "${files[@]}"
        # deb822 style: a paragraph with the type deb and the suite bookworm.
        awk 'BEGIN { RS = ""; FS = "\n" }
             { uri = ""; deb = 0; suite = 0
               for (i = 1; i <= NF; i++) {
                   if ((" " $i " ") ~ /^ Types:.*[ \t]deb[ \t]/) deb = 1
                   if ($i ~ /^Suites:/ && (" " $i " ") ~ /[ \t]bookworm[ \t]/) suite = 1
                   if ($i ~ /^URIs:/) { split($i, f, /[ \t]+/); uri = f[2] } }
               if (deb && suite && uri != "") print uri }' "${files[@]}"
    } | head -n 1
}

mounted=()
mount_root() {
    local r=$1
    mount -t proc proc "$r/proc" && mounted=("$r/proc" "${mounted[@]}")
    mount --bind /dev "$r/dev" && mounted=("$r/dev" "${mounted[@]}")
    mount --bind /dev/pts "$r/dev/pts" && mounted=("$r/dev/pts" "${mounted[@]}")
    mount --bind "$cache/archives" "$r/var/cache/apt/archives" && mounted=("$r/var/cache/apt/archives" "${mounted[@]}")
    cp /etc/resolv.conf "$r/etc/resolv.conf"
}
unmount_all() {
    local m
    for m in "${mounted[@]}"; do umount "$m" || umount -l "$m" || true; done
    mounted=()
}
trap unmount_all EXIT
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }
apt_in_root() { in_root apt-get -y -q -o Dpkg::Use-Pty=0 --no-install-recommends "$@"; }

# ---------------------------------------------------------------- the packages
echo "   building the packages (logs in $logs)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr >"$logs/configure.log"
cmake --build "$build" -j"${VARROK_JOBS:-2}" --target varrok_packaged >"$logs/build.log" 2>&1 ||
    { tail -n 30 "$logs/build.log" >&2; exit 1; }
rm -rf "$build/packages"
(cd "$build" && cpack -G DEB) >"$logs/cpack.log" 2>&1 || { tail -n 30 "$logs/cpack.log" >&2; exit 1; }
debs=("$PWD/$build"/packages/*.deb)
for deb in "${debs[@]}"; do
    printf '   %-44s %6s KiB  %s\n' "$(basename "$deb")" "$(($(stat -c %s "$deb") / 1024))" \
        "$(dpkg-deb -f "$deb" Depends | cut -c1-60)"
done

if ! lintian --fail-on error --tag-display-limit 0 "${debs[@]}" >"$logs/lintian.txt" 2>&1; then
    cat "$logs/lintian.txt" >&2
    echo "lintian found errors" >&2
    exit 1
fi
echo "   lintian: no errors, $(grep -c '^W:' "$logs/lintian.txt" || true) warnings ($logs/lintian.txt)"
unpacked=$(mktemp -d)
trap 'unmount_all; rm -rf "$unpacked"' EXIT
dpkg-deb -x "$build"/packages/oskelle_*.deb "$unpacked"
desktop-file-validate "$unpacked"/usr/share/applications/*.desktop
appstreamcli validate --no-net --explain "$unpacked"/usr/share/metainfo/*.metainfo.xml >"$logs/appstream.txt" ||
    { cat "$logs/appstream.txt" >&2; exit 1; }
echo "   desktop entry and AppStream metadata valid"

# ---------------------------------------------------------------- a clean root
if [ ! -f "$base/.complete" ]; then
    mirror=$(debian_mirror)
    [ -n "$mirror" ] || { echo "no Debian 12 (bookworm) source in /etc/apt/sources*" >&2; exit 1; }
    echo "   making a clean Debian 12 root in $base (once; log: $logs/debootstrap.log)"
    if [ ! -f "$base.partial/.debootstrapped" ]; then
        rm -rf "$base.partial"
        debootstrap --variant=minbase --cache-dir="$cache/archives" bookworm "$base.partial" "$mirror" \
            >"$logs/debootstrap.log" 2>&1 || { tail -n 20 "$logs/debootstrap.log" >&2; exit 1; }
        touch "$base.partial/.debootstrapped"
    fi
    rm -rf "$root"
    mv "$base.partial" "$root"
    mount_root "$root"
    # The tools the check itself uses; what our packages need, apt must find.
    apt_in_root install gcc libc6-dev cmake make pkg-config xvfb x11-utils >>"$logs/debootstrap.log" 2>&1 ||
        { tail -n 20 "$logs/debootstrap.log" >&2; exit 1; }
    unmount_all
    touch "$root/.complete"
    mv "$root" "$base"
fi
rm -rf "$root"
cp -a "$base" "$root"
mount_root "$root"

echo "   installing the packages in a copy of the clean root (log: $logs/root-install.log)"
check=$root/tmp/varrok-check
mkdir -p "$check/debs"
cp "${debs[@]}" "$check/debs/"
cp -r packaging/check/. "$check/"
names=()
for deb in "${debs[@]}"; do names+=("$(dpkg-deb -f "$deb" Package)"); done
apt_in_root install "${debs[@]/#$PWD\/$build\/packages/\/tmp\/varrok-check\/debs}" >"$logs/root-install.log" 2>&1 ||
    { tail -n 30 "$logs/root-install.log" >&2; exit 1; }
in_root /tmp/varrok-check/in_root.sh | sed 's/^/   /'

echo "   removing the packages"
# Every file our packages put in place (not the folders they share with others).
for deb in "${debs[@]}"; do dpkg-deb -c "$deb"; done | awk '$1 !~ /^d/ {print $6}' | sed 's/^\.//' |
    sort -u >"$logs/files.txt"
apt_in_root purge --autoremove "${names[@]}" >"$logs/root-remove.log" 2>&1 ||
    { tail -n 30 "$logs/root-remove.log" >&2; exit 1; }
left=$(in_root dpkg-query -W -f='${Package} ${Status}\n' "${names[@]}" 2>/dev/null | grep -v "not-installed" || true)
[ -z "$left" ] || { echo "still installed: $left" >&2; exit 1; }
while read -r file; do
    if [ -e "$root$file" ] || [ -L "$root$file" ]; then echo "left behind: $file" >&2 && exit 1; fi
done <"$logs/files.txt"
strays=$(find "$root" -path "$root/proc" -prune -o -path "$root/dev" -prune -o -path "$check" -prune \
    -o -path "$root/var/cache/apt/archives" -prune -o \( -iname '*varrok*' -o -iname '*oskelle*' \) -print)
[ -z "$strays" ] || { echo "left behind after removal:" >&2 && echo "$strays" >&2 && exit 1; }
echo "   removed: nothing of ours is left in the root"
unmount_all
rm -rf "$root"
