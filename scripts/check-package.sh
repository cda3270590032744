#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages from a clean copy of the tree (dpkg-buildpackage, as a distribution
# would) and checks them: the three packages and their dependencies, hardening, lintian on the
# .changes, the maintainer scripts, and install, remove and purge in a throw-away root. The
# packages' scripts run there for real (dpkg --root with chrootless scripts, so the root needs no
# system of its own); what needs a running systemd (starting and stopping the service) is checked
# in the scripts' text. The unpacked programs run from / without the source or build tree, the
# desktop entry, AppStream data and manual pages validate, and no file holds a source or build path.
#   scripts/check-package.sh [WORK_DIR]   (keeps the packages in WORK_DIR when given)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -gt 0 ]; then
  work=$(mkdir -p "$1" && cd "$1" && pwd)
  rm -rf "${work:?}"/*
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi
fail() { echo "check-package: $*" >&2; exit 1; }

# What git knows of the tree, as a clean clone would have it (with files not yet committed).
tree=$work/rode-rur
mkdir -p "$tree"
if git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$source_dir" && git ls-files -z --cached --others --exclude-standard |
     xargs -0 -I{} sh -c '[ -e "{}" ] || [ -L "{}" ] && printf "%s\0" "{}"' |
     tar --null -T - -cf -) | tar -xf - -C "$tree"
else
  (cd "$source_dir" && tar --exclude='./build*' -cf - .) | tar -xf - -C "$tree"
fi

"$source_dir/scripts/build-packages.sh" "$tree" "$work/build.log" || fail "the packages could not be built"
changes=$(ls "$work"/rode-rur_*.changes)
echo "built: $(cd "$work" && ls ./*.deb | tr '\n' ' ')"

deb() { ls "$work/$1"_*.deb 2>/dev/null || fail "no package $1"; }
daemon=$(deb rode-rur-daemon)
desktop=$(deb rode-rur)
cockpit=$(deb cockpit-rode-rur)
[ "$(dpkg-deb --field "$daemon" Version)" = "0.50.11-3-2" ] || fail "version: $(dpkg-deb --field "$daemon" Version)"
# A headless server gets no graphical library with the daemon package.
daemon_depends=$(dpkg-deb --field "$daemon" Depends)
if grep -qiE 'qt|libx11|libgl' <<<"$daemon_depends"; then fail "rode-rur-daemon depends on $daemon_depends"; fi
dpkg-deb --field "$desktop" Depends | grep -q "rode-rur-daemon (= 0.50.11-3-2)" || fail "rode-rur does not depend on this rode-rur-daemon"
[ "$(dpkg-deb --field "$cockpit" Architecture)" = all ] || fail "cockpit-rode-rur is not Architecture: all"
dpkg-deb --field "$cockpit" Depends | grep -q cockpit-bridge || fail "cockpit-rode-rur does not depend on cockpit-bridge"
dpkg-deb --contents "$cockpit" | grep "usr/share/cockpit/rode-rur/manifest.json" >/dev/null || fail "cockpit-rode-rur lacks the page"

root=$work/unpacked
for package in "$daemon" "$desktop" "$cockpit"; do dpkg -x "$package" "$root"; done
for program in "$root/usr/bin/rurctl" "$root"/usr/sbin/rode-rurd "$root"/usr/libexec/rode-rurd; do
  [ -e "$program" ] || continue
  # Control flow protection needs C library start files that carry it; Debian 12's do not, so no
  # program linked there can have it.
  hardening-check --quiet --nocfprotection "$program" ||
    { hardening-check "$program"; fail "$(basename "$program") is not hardened"; }
done
echo "hardening-check: passed"

if ! lintian_out=$(lintian --fail-on error,warning --allow-root --tag-display-limit 0 "$changes" 2>&1); then
  echo "$lintian_out"
  fail "lintian found errors or warnings"
fi
echo "lintian: no error or warning"

# The programs run from the unpacked tree, from /, with nothing of the build around.
version=$(cd / && "$root/usr/bin/rurctl" --version)
[ "$version" = "rurctl v0.50.11-3" ] || fail "rurctl --version said: $version"
status=$(cd / && env -u STATE_DIRECTORY -u CONFIGURATION_DIRECTORY HOME="$work/home" XDG_STATE_HOME="$work/state" \
         "$root/usr/bin/rurctl" --simulate status) || fail "rurctl --simulate status failed: $status"
grep -q "Mode:" <<<"$status" || fail "rurctl --simulate status printed no enclosure: $status"
echo "unpacked rurctl: $version; --simulate status shows $(grep -c '^Device' <<<"$status") enclosure(s)"
if grep -rlaF -e "$source_dir" -e "$tree" "$root"; then fail "the files above hold a source or build path"; fi
shopt -s nullglob
for entry in "$root"/usr/share/applications/*.desktop; do desktop-file-validate "$entry"; done
for metainfo in "$root"/usr/share/metainfo/*.xml; do appstreamcli validate --no-net "$metainfo"; done
pages=("$root"/usr/share/man/man*/*.gz)
[ ${#pages[@]} -ge 3 ] || fail "manual pages missing: ${pages[*]}"
for page in "${pages[@]}"; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man --warnings on $(basename "$page"): $warnings"
done
[ -n "$(ls "$root"/usr/share/icons/hicolor/scalable/apps/*.svg 2>/dev/null)" ] || fail "no scalable icon"

# The maintainer scripts: the service is enabled and started on install, stopped on remove, and
# its state and settings go on purge only.
scripts=$work/control
dpkg-deb --control "$daemon" "$scripts"
units=$(for unit in "$root"/lib/systemd/system/*.service "$root"/usr/lib/systemd/system/*.service; do
           basename "$unit"; done)
[ -n "$units" ] || fail "rode-rur-daemon holds no service unit"
for unit in $units; do
  grep -qF "deb-systemd-helper enable '$unit'" "$scripts/postinst" || fail "postinst does not enable $unit"
  grep -qF "deb-systemd-invoke \$_dh_action '$unit'" "$scripts/postinst" && grep -q "_dh_action=start" "$scripts/postinst" ||
    fail "postinst does not start $unit"
  grep -qF "deb-systemd-invoke stop '$unit'" "$scripts/prerm" || fail "prerm does not stop $unit"
  grep -qF "deb-systemd-helper purge '$unit'" "$scripts/postrm" || fail "postrm does not purge $unit"
done
grep -q "systemd-sysusers.*rode-rur.conf" "$scripts/postinst" || fail "postinst does not create the enclosure readers' group"
echo "maintainer scripts: $units enabled and started, stopped on remove, purged"

# Install, remove and purge in a throw-away root; the scripts run with DPKG_ROOT set.
target=$work/target
mkdir -p "$target"/var/lib/dpkg/{info,updates,triggers} "$target"/etc "$target"/var/log
touch "$target"/var/lib/dpkg/{status,available} "$target"/etc/{passwd,group,shadow,gshadow}
echo "disk:x:6:" >"$target/etc/group"
in_root() { dpkg --root="$target" --force-script-chrootless --force-depends --force-not-root --log=/dev/null "$@"; }
in_root -i "$daemon" "$desktop" "$cockpit" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install failed"; }
[ -x "$target/usr/bin/rurctl" ] && [ -x "$target/usr/bin/rode-rur" ] || fail "the programs were not installed"
for unit in $units; do
  [ -L "$target/etc/systemd/system/multi-user.target.wants/$unit" ] || fail "install did not enable $unit"
done
grep -q '^rode-rur:' "$target/etc/group" || fail "install did not create the group rode-rur"
# The group reads the enclosures through a udev rule of their own, never every disk of the host.
! grep -q '^disk:.*rode-rur' "$target/etc/group" || fail "rode-rur was put in the disk group"
# What the service would have written by now.
mkdir -p "$target/var/lib/rode-rur" "$target/etc/rode-rur"
echo "day log" >"$target/var/lib/rode-rur/261207.log"
echo "[SOFTWARE\\KV_RODE_RUR]" >"$target/etc/rode-rur/KV_RODE_RUR.reg"
in_root -r cockpit-rode-rur rode-rur rode-rur-daemon >"$work/remove.log" 2>&1 || { cat "$work/remove.log"; fail "remove failed"; }
[ ! -e "$target/usr/bin/rurctl" ] || fail "remove left rurctl"
[ -e "$target/var/lib/rode-rur/261207.log" ] && [ -e "$target/etc/rode-rur/KV_RODE_RUR.reg" ] ||
  fail "remove took the state or the settings, which only purge may"
in_root -P rode-rur-daemon >"$work/purge.log" 2>&1 || { cat "$work/purge.log"; fail "purge failed"; }
[ ! -e "$target/var/lib/rode-rur" ] || fail "purge left /var/lib/rode-rur"
[ ! -e "$target/etc/rode-rur" ] || fail "purge left /etc/rode-rur"
for unit in $units; do
  [ ! -e "$target/etc/systemd/system/multi-user.target.wants/$unit" ] || fail "purge left $unit enabled"
done
if in_root -l 2>/dev/null | grep -q '^[a-z][a-z] *rode-rur'; then in_root -l | grep rode-rur; fail "packages left in the root"; fi
echo "install, remove, purge in a throw-away root: passed"
echo "check-package: all checks passed"
