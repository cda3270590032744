#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what the test against a real submission server needs (tests/mail): Postfix and Dovecot
# (SASL only), openssl for its test CA. Postfix is told "No configuration": the test starts it
# with a folder of its own and the system's mail stays untouched. Optional: when they cannot be
# had, that one test skips itself and everything else still runs.
set -uo pipefail
cd "$(dirname "$0")"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg-query -W -f='${Status}' postfix 2>/dev/null | grep -q "install ok installed"; then
  sudo=""
  if [ "$(id -u)" -ne 0 ]; then sudo="sudo -n"; fi
  echo "postfix postfix/main_mailer_type select No configuration" | $sudo debconf-set-selections 2>/dev/null || true
fi
if ! ./install-deps.sh postfix dovecot-core openssl; then
  echo "install-mail-deps: could not install Postfix and Dovecot; the mail server test will be skipped" >&2
fi
exit 0
