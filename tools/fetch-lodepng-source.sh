#!/bin/sh
# Fetches LodePNG's C source from Debian's source package for the PVR build, through the
# machine's own apt sources (their deb lines read as deb-src) with a project-local apt
# state, so neither the machine's apt state nor the project names an archive.
# Usage: tools/fetch-lodepng-source.sh DEST    (DEST gets lodepng.cpp, lodepng.h, LICENSE)
set -eu
dest=$1
[ -f "$dest/lodepng.cpp" ] && [ -f "$dest/lodepng.h" ] && exit 0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/parts" "$work/src" "$dest"

# The machine's sources as source indexes.
: > "$work/sources.list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] && sed -n 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >> "$work/sources.list"
done
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && sed 's/^Types:.*/Types: deb-src/' "$f" > "$work/parts/$(basename "$f")"
done
opts="-q -o Dir::Etc::SourceList=$work/sources.list -o Dir::Etc::SourceParts=$work/parts
      -o Dir::State::Lists=$work/lists -o Dir::Cache=$work/cache -o Debug::NoLocking=1
      -o APT::Sandbox::User=root"
apt-get $opts update
# The same version as the host's library when it is installed.
want=lodepng
version=$(dpkg-query -W -f='${source:Version}' liblodepng-dev 2>/dev/null || true)
[ -n "$version" ] && want="lodepng=$version"
(cd "$work/src" && apt-get $opts source "$want")
dir=$(find "$work/src" -mindepth 1 -maxdepth 1 -type d | head -n 1)
[ -n "$dir" ] && [ -f "$dir/lodepng.cpp" ] || { echo "fetch-lodepng-source: no lodepng.cpp in the source package" >&2; exit 1; }
cp "$dir/lodepng.cpp" "$dir/lodepng.h" "$dest/"
[ -f "$dir/LICENSE" ] && cp "$dir/LICENSE" "$dest/"
echo "fetch-lodepng-source: $(basename "$dir") in $dest"
