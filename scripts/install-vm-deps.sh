#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the virtual-machine tests need: for the SG_IO path (tests/vm) qemu, nbdkit and its
# plugin headers, a static busybox, cpio and mke2fs; for the product as installed (tests/system)
# mmdebstrap as well. Optional: when they cannot be had, that one
# test skips itself and everything else still runs. The guest kernel is not installed; the test
# downloads Debian's cloud kernel package into the build folder (tools/vm/fetch-kernel.sh).
set -uo pipefail
cd "$(dirname "$0")"
if ! ./install-deps.sh qemu-system-x86 nbdkit nbdkit-plugin-dev busybox-static cpio e2fsprogs mmdebstrap; then
  echo "install-vm-deps: could not install the virtual-machine test's packages; that test will be skipped" >&2
fi
exit 0
