#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the Windows cross-build and its tests under wine need, only what is missing.
# The lists of scripts/install-deps.sh bring the header-only libraries and GoogleTest's sources.
# The mail library of the Windows programs is built from Debian's curl source package
# (scripts/build-windows-curl.sh), so apt must know the source packages too: where no deb-src
# entry exists, one is added for the Debian archives the machine already uses.
set -euo pipefail
cd "$(dirname "$0")"
./install-deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64 dpkg-dev "$@"

known=$(apt-cache showsrc curl 2>/dev/null || true)
if grep -q '^Package: curl$' <<<"$known"; then exit 0; fi
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
folder=/etc/apt/sources.list.d
staged=$(mktemp -d)
trap 'rm -rf "$staged"' EXIT
# The Debian stanzas of the deb822 files, as source entries ...
for file in "$folder"/*.sources; do
  [ -f "$file" ] && [[ $file != */rode-rur-* ]] || continue
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /(^|\n)Types:[^\n]*deb/ && /(^|\n)URIs:[^\n]*debian/ && !/(^|\n)Enabled: *no/ {
         sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$file"
done >"$staged/rode-rur-debian-sources.sources"
# ... and the one-line entries of sources.list.
if [ -f /etc/apt/sources.list ]; then
  sed -n 's/^[[:space:]]*deb[[:space:]]\(.*debian.*\)$/deb-src \1/p' /etc/apt/sources.list
fi >"$staged/rode-rur-debian-sources.list"
added=0
for file in "$staged"/*; do
  if [ -s "$file" ]; then
    $sudo install -m 644 "$file" "$folder/"
    echo "Added Debian's source packages to apt's sources: $folder/$(basename "$file")"
    added=1
  fi
done
if [ $added -eq 0 ]; then
  echo "No Debian archive found among apt's sources: add a deb-src entry for curl's source package." >&2
  exit 1
fi
$sudo apt-get update -q
