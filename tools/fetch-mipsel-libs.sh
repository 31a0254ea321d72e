#!/bin/sh
# Fetches the mipsel libraries the PVR build links statically (PCRE2) from Debian's
# mipsel packages into a project-local sysroot, without adding a dpkg architecture.
# Usage: tools/fetch-mipsel-libs.sh DEST
set -eu
dest=$1
[ -f "$dest/.complete" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$dest"
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
echo "deb [arch=mipsel signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" > "$work/sources.list"
opts="-q -o APT::Architecture=mipsel -o APT::Architectures::=mipsel
      -o Dir::Etc::SourceList=$work/sources.list -o Dir::Etc::SourceParts=/dev/null
      -o Dir::State::Lists=$work/lists -o Dir::Cache=$work/cache -o Debug::NoLocking=1
      -o APT::Sandbox::User=root"
apt-get $opts update
(cd "$work" && apt-get $opts download libpcre2-dev:mipsel libpcre2-8-0:mipsel)
for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$dest"; done
touch "$dest/.complete"
echo "fetch-mipsel-libs: unpacked into $dest"
