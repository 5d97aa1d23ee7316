#!/usr/bin/env bash
# Builds the Debian package and installs it, as a user would, with
#   apt-get install ./regviafft_<version>_<arch>.deb
# in a fresh Debian 12 root made by debootstrap in a throw-away folder; then
# stabilises the built-in sample there, finds the GStreamer element with
# gst-inspect-1.0, stabilises a file from Python and reads the manual page.
# The root is removed at the end. It downloads some 250 MB, so CI runs it
# only when REGVIAFFT_TEST_DEB=1; run it by hand (as root) otherwise:
#
#   bash scripts/test-deb.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/release}
suite=bookworm

bash scripts/install-deps.sh
if ! command -v debootstrap >/dev/null; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

echo "== The package"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE=/usr/bin/python3 >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/regviafft_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/regviafft_*.deb)
dpkg-deb --field "$deb" Package Version Depends Recommends

# The Debian mirror the machine itself uses.
mirror=$(sed -n 's/^URIs: *\([^ ]*\/debian\)$/\1/p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -1)
mirror=${mirror:-http://deb.debian.org/debian}

root=$(mktemp -d /var/tmp/regviafft-deb-root.XXXXXX)
chmod 755 "$root"  # apt's own user reads its lists there
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  rm -rf --one-file-system "$root"
}
trap cleanup EXIT

echo "== A fresh $suite root from $mirror in $root"
debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
  { tail -20 "$root.debootstrap.log"; exit 1; }
rm -f "$root.debootstrap.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

echo "== apt-get install ./$(basename "$deb")"
in_root apt-get update -qq
in_root sh -c "cd /tmp && apt-get install -y -qq ./$(basename "$deb")" >"$root/apt.log" 2>&1 ||
  { tail -30 "$root/apt.log"; exit 1; }
grep -cE "^Setting up " "$root/apt.log" | xargs echo "packages set up:"

echo "== regviafft-stabilize on the built-in sample"
in_root sh -c "mkdir -p /tmp/run && cd /tmp/run && regviafft-stabilize --quiet && ls regviafft-sample"
for file in shaky.mp4 stabilized.mp4 motion.csv path.png; do
  [ -s "$root/tmp/run/regviafft-sample/$file" ] || { echo "no $file" >&2; exit 1; }
done
in_root sh -c "cd /tmp/run && regviafft-stabilize regviafft-sample/shaky.mp4 steady.mkv 2>&1 | tail -1"

echo "== gst-inspect-1.0 regviafftstab"
in_root gst-inspect-1.0 regviafftstab | grep -E "Long-name|Filename|License|Version"

echo "== Python"
in_root python3 -c "
import regviafft
from importlib import metadata
records = regviafft.stabilize_file('/tmp/run/regviafft-sample/shaky.mp4', '/tmp/run/steady.mp4', mode='causal',
                                   quiet=True)
print('regviafft', regviafft.__version__, 'licence', metadata.metadata('regviafft')['License'],
      'from', regviafft.__file__, ':', len(records), 'frames stabilised')"

echo "== The manual page and the licence"
in_root sh -c "ls /usr/share/man/man1/regviafft-stabilize.1* && head -3 /usr/share/doc/regviafft/copyright"

echo "test-deb: the package installs on a fresh $suite root and its tools run there"
