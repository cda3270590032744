#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian packages of a source tree with dpkg-buildpackage, as a distribution would; they
# land beside the tree. A compiler cache, where there is one, makes another build of a similar
# tree quick (the packages do not depend on it): every path of the tree is mapped away in the
# objects, so neither the tree's folder nor the working directory counts for the cache.
#   scripts/build-packages.sh TREE LOG
set -euo pipefail
tree=$(cd "$1" && pwd)
log=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
(cd "$tree" && dpkg-checkbuilddeps) || { echo "build-packages: the build dependencies that debian/control names are not installed" >&2; exit 1; }
# debhelper gives the build a HOME of its own, where ccache would start an empty cache every time:
# the cache is named here.
if command -v ccache >/dev/null; then
  CCACHE_DIR=${CCACHE_DIR:-$(ccache --get-config cache_dir)}
  export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$tree CCACHE_NOHASHDIR=1 CCACHE_DIR
fi
export DEB_BUILD_OPTIONS="parallel=$(nproc)"
(cd "$tree" && dpkg-buildpackage -us -uc -b >"$log" 2>&1) || { tail -n 60 "$log" >&2; echo "build-packages: dpkg-buildpackage failed" >&2; exit 1; }
