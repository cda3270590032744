#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/install-vm-deps.sh
# Postfix and Dovecot for the test against a real mail server (label "mail"; skipped without them).
scripts/install-mail-deps.sh
# The Windows cross-build and wine (label "windows"); without them those tests are skipped.
scripts/install-windows-deps.sh || echo "mingw-w64 and wine could not be installed: the Windows tests are skipped"
# Warnings fail the build here, as they do in CI.
scripts/build.sh -DRUR_WERROR=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)"
