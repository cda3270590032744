#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source, build and script file of the project names its licence in an SPDX line
# (GPL-3.0-or-later; the AppStream metadata is CC0-1.0).
set -euo pipefail
cd "$(dirname "$0")/.."
missing=$(git ls-files -- src tests fuzz bench tools scripts data '*CMakeLists.txt' '*.sh' \
          | grep -E '\.(cpp|h|in|cmake|sh|py)$|CMakeLists\.txt$' | grep -v '/corpus/' \
          | xargs grep -L 'SPDX-License-Identifier: ' || true)
if [ -n "$missing" ]; then
  echo "These files have no SPDX-License-Identifier line (GPL-3.0-or-later):" >&2
  echo "$missing" >&2
  exit 1
fi
