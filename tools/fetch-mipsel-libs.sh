#!/bin/sh
# Fetches the mipsel libraries the PVR build links statically (PCRE2 for skimlet; libid3tag
# and zlib for the MP3 tag reader of the TAPs; lhasa, libjpeg-turbo and FreeType (with
# libpng, brotli and bzip2) for the emulated OSD that the unit tests run on) from Debian's
# mipsel packages into a project-local sysroot, without adding a dpkg architecture.
# The packages come from the archives of the machine's own apt sources (sources.list,
# sources.list.d/*.list and *.sources), through any mirror or proxy configured there.
# Usage: tools/fetch-mipsel-libs.sh DEST
set -eu
dest=$1
[ -f "$dest/.complete-2" ] && exit 0
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
(cd "$work" && apt-get $opts download libpcre2-dev:mipsel libpcre2-8-0:mipsel \
  libid3tag0-dev:mipsel libid3tag0:mipsel zlib1g-dev:mipsel zlib1g:mipsel \
  liblhasa-dev:mipsel liblhasa0:mipsel libjpeg62-turbo-dev:mipsel libjpeg62-turbo:mipsel \
  libfreetype-dev:mipsel libfreetype6:mipsel libpng-dev:mipsel libpng16-16:mipsel \
  libbrotli-dev:mipsel libbrotli1:mipsel libbz2-dev:mipsel libbz2-1.0:mipsel)
for deb in "$work"/*.deb; do dpkg-deb -x "$deb" "$dest"; done
touch "$dest/.complete-2"
echo "fetch-mipsel-libs: unpacked into $dest"
