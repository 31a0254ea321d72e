#!/bin/sh
# Fetches the mipsel libraries the PVR build links statically (PCRE2) from Debian's
# mipsel packages into a project-local sysroot, without adding a dpkg architecture.
# The packages come from the archives of the machine's own apt sources (sources.list,
# sources.list.d/*.list and *.sources), through any mirror or proxy configured there.
# Usage: tools/fetch-mipsel-libs.sh DEST
set -eu
dest=$1
[ -f "$dest/.complete" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$dest"
# Only the architecture changes: apt reads the machine's sources and settings as they are
# and keeps the package lists and files of this run apart from the machine's own.
opts="-q -o APT::Architecture=mipsel -o APT::Architectures::=mipsel
      -o Dir::State::Lists=$work/lists -o Dir::Cache=$work/cache -o Debug::NoLocking=1
      -o APT::Sandbox::User=root"
# A source without mipsel packages fails the update; the others serve all the same.
apt-get $opts update || echo "fetch-mipsel-libs: some package lists could not be fetched" >&2
(cd "$work" && apt-get $opts download libpcre2-dev:mipsel libpcre2-8-0:mipsel)
for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$dest"; done
touch "$dest/.complete"
echo "fetch-mipsel-libs: unpacked into $dest"
