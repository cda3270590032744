#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from a finished build and checks it as a distribution would:
# the unpacked programs run from / without the source or build tree, the desktop entry, AppStream
# data and manual pages validate, lintian finds no error, and no binary holds a source or build path.
#   scripts/check-package.sh [BUILD_DIR]
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$(cd "${1:-$source_dir/build}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

(cd "$build_dir" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb")"
dpkg-deb --field "$deb" Package Version Depends

# The programs run from the unpacked tree, from /, with nothing of the build around.
root=$work/root
dpkg -x "$deb" "$root"
version=$(cd / && "$root/usr/bin/rurctl" --version)
[ "$version" = "rurctl v0.50.11-3" ] || fail "rurctl --version said: $version"
status=$(cd / && env -u STATE_DIRECTORY -u CONFIGURATION_DIRECTORY HOME="$work/home" XDG_STATE_HOME="$work/state" \
         "$root/usr/bin/rurctl" --simulate status) || fail "rurctl --simulate status failed: $status"
grep -q "Mode:" <<<"$status" || fail "rurctl --simulate status printed no enclosure: $status"
echo "unpacked rurctl: $version; --simulate status shows $(grep -c '^Device' <<<"$status") enclosure(s)"

# No source or build folder in any installed file.
if grep -rlaF -e "$source_dir" -e "$build_dir" "$root"; then fail "the files above hold a source or build path"; fi
for binary in "$build_dir/rurctl" "$build_dir/rode-rur"; do
  [ -e "$binary" ] || continue
  if grep -qaF -e "$source_dir" -e "$build_dir" "$binary"; then fail "$binary holds a source or build path"; fi
done

shopt -s nullglob
for desktop in "$root"/usr/share/applications/*.desktop; do desktop-file-validate "$desktop"; done
for metainfo in "$root"/usr/share/metainfo/*.xml; do appstreamcli validate --no-net "$metainfo"; done
for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings on $(basename "$page"): $warnings"
done
[ -n "$(ls "$root"/usr/share/icons/hicolor/scalable/apps/*.svg 2>/dev/null)" ] || fail "no scalable icon"

lintian --fail-on error --allow-root --tag-display-limit 0 "$deb"
echo "check-package: all checks passed"
