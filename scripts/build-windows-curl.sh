#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the mail library of the Windows programs: libcurl from Debian's curl source package, for
# mingw-w64, static, with Schannel (Windows' own TLS) and SMTP as its only protocol. It lands in
# FOLDER/curl (headers, libcurl.a and its CMake package), which scripts/build-windows.sh passes on;
# it is built once per source version and recipe (this script) and kept there, so later builds
# take it as it is.
# usage: build-windows-curl.sh FOLDER [JOBS]
set -euo pipefail
cd "$(dirname "$0")/.."
folder=$(realpath -m "$1")
jobs=${2:-2}
prefix=$folder/curl
stamp=$prefix/built-from

# The source package apt would fetch now (a security update brings a new one).
version=$(apt-get source --print-uris -qq curl 2>/dev/null | sed -n "s/^'[^']*' curl_\([^ ]*\)\.dsc .*/\1/p" | head -1)
if [ -z "$version" ]; then
  echo "apt knows no source package of curl: run scripts/install-windows-deps.sh, which adds Debian's sources" >&2
  exit 1
fi
built="$version $(sha256sum "$0" | cut -c1-16)"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$built" ] && [ -f "$prefix/lib/libcurl.a" ]; then
  exit 0
fi

echo "Building libcurl $version for Windows (mingw-w64, Schannel) into $prefix"
start=$SECONDS
work=$folder/curl-build
rm -rf "$work" "$prefix"
mkdir -p "$work"
(cd "$work" && apt-get source -qq curl >/dev/null 2>"$work/source.log") || {
  cat "$work/source.log" >&2
  exit 1
}
source_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'curl-*' | head -1)

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache); fi
# Everything but SMTP and its TLS is left out: no other protocol, proxy, cookie, compression or
# name library, and neither the curl program nor the tests. HTTP stays: the SMTP code of Debian's
# patched sources calls a helper of it. The wine emulator of the project's
# toolchain is not wanted for the library's configuration checks.
cmake -S "$source_dir" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_CROSSCOMPILING_EMULATOR= -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "${launcher[@]}" \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF \
  -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_ZLIB=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
  -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF -DUSE_NGHTTP2=OFF \
  -DCURL_DISABLE_FTP=ON -DCURL_DISABLE_FILE=ON -DCURL_DISABLE_DICT=ON \
  -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_IMAP=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_LDAP=ON \
  -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_SMB=ON \
  -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_TFTP=ON -DCURL_DISABLE_PROXY=ON -DCURL_DISABLE_COOKIES=ON \
  -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON -DCURL_DISABLE_DOH=ON -DCURL_DISABLE_NETRC=ON \
  -DCURL_DISABLE_MIME=ON >"$work/configure.log" 2>&1 || {
  tail -40 "$work/configure.log" >&2
  exit 1
}
ninja -C "$work/build" -j "$jobs" >"$work/build.log" 2>&1 || {
  tail -40 "$work/build.log" >&2
  exit 1
}
ninja -C "$work/build" install >/dev/null
echo "$built" >"$stamp"
rm -rf "$work"
echo "libcurl $version built in $((SECONDS - start)) s"
