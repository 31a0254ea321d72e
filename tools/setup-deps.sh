#!/bin/sh
# Installs the Debian packages the build, the emulator and the tests need.
# Usage: tools/setup-deps.sh [run|test] [--list]
#   run:    what `make run` builds and runs (the host build: TAPs, pvrsim, skimlet, unit tests)
#   test:   that and the PVR build, the fuzzers and the test oracles
#   --list: print the packages of the set instead of installing them
set -eu
want="cmake make g++ python3 python3-mutagen nlohmann-json3-dev libgtest-dev libpcre2-dev iproute2 dtv-scan-tables
      liblodepng-dev libid3tag0-dev"
if [ "${1:-test}" = test ]; then
  want="$want g++-mipsel-linux-gnu binutils-mipsel-linux-gnu qemu-user clang libclang-rt-14-dev
        python3-pytest curl binutils lhasa jlha-utils busybox lighttpd pcre2-utils
        python3-websocket python3-pil python3-mutagen gzip apt dpkg tzdata coreutils libc-bin
        libtiff-tools python3-tinycss2 dpkg-dev chromium apache2-utils util-linux"
fi
# The browser application's build tools run on Node.js; any node and npm on the PATH will do.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  want="$want nodejs npm"
fi
if [ "${2:-}" = --list ]; then
  for p in $want; do echo "$p"; done
  exit 0
fi
missing=""
for p in $want; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
echo "setup: missing Debian packages:$missing"
if [ "$(id -u)" -ne 0 ]; then
  echo "setup: run as root, or install them with: sudo apt-get install -y$missing" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q || true
apt-get install -y -q --no-install-recommends $missing
