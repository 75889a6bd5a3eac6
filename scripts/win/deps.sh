#!/usr/bin/env bash
# Cross-builds zlib, OpenSSL 3 (libcrypto only) and libcurl for 64-bit Windows (mingw-w64,
# posix threads) from Debian's source packages into a cache outside the clone, keyed by
# this recipe, the toolchain file and the compiler version. Prints the prefix on its last
# line. A warm cache costs nothing; a cold one is a few minutes (only what the core uses
# is built, libcurl with CMake and Ninja instead of its configure script).
#
# Shipped DLL names: z.dll, libcrypto-3-x64.dll, libcurl.dll. libcurl uses Windows' own TLS
# (Schannel, the system's certificate store), so it imports only z.dll and system DLLs.
# Each library is cached on its own (keyed by its recipe), so changing one rebuilds one.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
HOST=x86_64-w64-mingw32
CC=$HOST-gcc-posix
command -v "$CC" >/dev/null || { echo "deps: $CC missing (apt-get install gcc-mingw-w64-x86-64-posix)" >&2; exit 1; }

TOOLCHAIN=$(cd "$HERE/../../cmake" && pwd)/mingw64-posix.cmake
KEY=$( { cat "$HERE/deps.sh" "$TOOLCHAIN"; "$CC" --version | head -1; } | sha256sum | cut -c1-16)
CACHE=${XDG_CACHE_HOME:-$HOME/.cache}/quenvale-win
PREFIX=$CACHE/$KEY
if [ -f "$PREFIX/.complete" ]; then
  echo "$PREFIX"; exit 0
fi
WORK=$CACHE/work
LOGS=$WORK/logs
rm -rf "$PREFIX" "$WORK/logs"
mkdir -p "$PREFIX"/{bin,lib,include} "$WORK/src" "$WORK/build" "$LOGS"
say() { echo "deps: $*" >&2; }
step() {  # step NAME COMMAND...: runs quietly into a log, shows the log's tail on failure
  local name=$1; shift; local t0=$SECONDS
  # A subshell of its own so that set -e holds inside the step's function.
  set +e; ( set -e; "$@" ) >"$LOGS/$name.log" 2>&1; local rc=$?; set -e
  if [ $rc -ne 0 ]; then
    tail -30 "$LOGS/$name.log" >&2; say "$name failed (log: $LOGS/$name.log)"; exit 1
  fi
  say "$name $((SECONDS - t0)) s"
}

# ---- sources: Debian's source packages (deb-src lines added once) -------------------------
ensure_deb_src() {
  grep -rqs '^Types:.*deb-src\|^deb-src ' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
  local SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  local list=/etc/apt/sources.list.d/debian.sources
  [ -f "$list" ] || { say "no deb-src lines and no $list to derive them from"; return 1; }
  sed 's/^Types: deb$/Types: deb-src/' "$list" | $SUDO tee /etc/apt/sources.list.d/quenvale-deb-src.sources >/dev/null
  $SUDO apt-get update -qq
}
fetch_one() {  # fetch_one PKG: the newest source version the mirror really serves; prints its .dsc
  local pkg=$1 v
  for v in $(apt-cache showsrc "$pkg" | awk '/^Version:/{print $2}' | sort -Vru); do
    local dsc="${pkg}_${v#*:}.dsc"
    if [ -f "$dsc" ] || apt-get source --download-only "$pkg=$v" >&2; then echo "$dsc"; return 0; fi
  done
  say "no source version of $pkg could be fetched"; return 1
}
fetch_sources() {
  cd "$WORK/src"
  apt-cache showsrc zlib >/dev/null 2>&1 && apt-cache showsrc zlib | grep -q '^Version:' || ensure_deb_src
  local pkg dsc
  for pkg in zlib openssl curl cpp-httplib; do
    dsc=$(fetch_one "$pkg")
    rm -rf "$pkg"
    dpkg-source --skip-debianization -x "$dsc" "$pkg" >&2
    [ "$pkg" = curl ] && curl_debian=${dsc%.dsc}.debian.tar.xz
    echo "$dsc"
  done > sources.txt
  # curl: Debian's fixes, not its packaging patches (those change configure.ac/Makefile.am
  # and would need autoreconf).
  rm -rf curl-debian; mkdir -p curl-debian && tar xf "$curl_debian" -C curl-debian
  local skip=" 04_workaround_as_needed_bug.patch 08_enable-zsh.patch 11_omit-directories-from-config.patch 90_gnutls.patch 99_nss.patch build-Divide-mit-krb5-gssapi-link-flags-between-LDFLAGS-a.patch Remove-curl-s-LDFLAGS-from-curl-config-static-libs.patch Use-correct-path-when-loading-libnss-pem-ckbi-.so.patch Use-OpenLDAP-specific-functionality.patch "
  local p
  for p in $(grep -v '^#' curl-debian/debian/patches/series | grep .); do
    case "$skip" in *" $p "*) continue ;; esac
    patch -d curl -p1 -s --no-backup-if-mismatch < "curl-debian/debian/patches/$p"
  done
}

# ---- zlib as z.dll (the dfsg tarball has no Windows makefile) -----------------------------
build_zlib() {
  local src=$WORK/src/zlib out=$WORK/build/zlib f
  local names="adler32 compress crc32 deflate gzclose gzlib gzread gzwrite infback inffast inflate inftrees trees uncompr zutil"
  rm -rf "$out"; mkdir -p "$out" "$STAGE"/{bin,lib,include}; cd "$out"
  # ZLIB_INTERNAL with ZLIB_DLL marks the API dllexport (without it, dllimport).
  printf '%s\n' $names | xargs -P2 -I{} "$CC" -O2 -DZLIB_DLL -DZLIB_INTERNAL -D_LARGEFILE64_SOURCE=1 \
    -I"$src" -c "$src/{}.c" -o "{}.o"
  "$CC" -shared -s -o z.dll $(printf '%s.o ' $names) -Wl,--out-implib,libz.dll.a
  cp z.dll "$STAGE/bin/"; cp libz.dll.a "$STAGE/lib/"
  cp "$src/zlib.h" "$src/zconf.h" "$STAGE/include/"
}

# ---- OpenSSL 3: libcrypto-3-x64.dll only ---------------------------------------------------
# The core calls SHA-256/512, RIPEMD-160, HMAC, PBKDF2, AES-256-GCM, EC keys (secp256k1)
# and RAND through the default provider; everything else is configured out. Only the DLL
# target is made: "build_libs" would also compile every file a second time for the static
# libcrypto.a, and all of libssl (libcurl does TLS through Windows).
OPENSSL_OPTIONS="shared no-tests no-legacy no-module no-engine no-dynamic-engine no-afalgeng
  no-capieng no-loadereng no-padlockeng no-async no-ui-console no-aria no-bf no-blake2
  no-camellia no-cast no-chacha no-poly1305 no-cmp no-cms no-comp no-ct no-des no-dh no-dsa
  no-gost no-idea no-md4 no-mdc2 no-ocb no-ocsp no-rc2 no-rc4 no-rfc3779 no-scrypt no-seed
  no-siphash no-siv no-sm2 no-sm3 no-sm4 no-srp no-srtp no-ts no-whirlpool no-dtls no-psk
  no-nextprotoneg"
build_openssl() {
  local b=$WORK/build/openssl src=$WORK/src/openssl
  rm -rf "$b"; mkdir -p "$b"; cd "$b"
  # shellcheck disable=SC2086  # the option list is words on purpose
  perl "$src/Configure" mingw64 --cross-compile-prefix=$HOST- CC=gcc-posix CXX=g++-posix \
    $OPENSSL_OPTIONS --prefix="$STAGE" --libdir=lib --openssldir="$STAGE/ssl"
  make -j2 build_generated
  make -j2 libcrypto-3-x64.dll
  # What "install_dev install_runtime_libs" would put in place for libcrypto: the DLL, its
  # import library, the public headers (the source's, then the generated ones over them).
  mkdir -p "$STAGE"/{bin,lib,include/openssl}
  cp libcrypto-3-x64.dll "$STAGE/bin/"; cp libcrypto.dll.a "$STAGE/lib/"
  cp "$src"/include/openssl/*.h "$STAGE/include/openssl/"
  cp include/openssl/*.h "$STAGE/include/openssl/"
}

# ---- libcurl as libcurl.dll, with its CMake build (its configure script alone took minutes)
# HTTP and HTTPS only (Schannel: Windows' TLS and certificate store) with zlib; proxies
# from the environment keep working. The project's toolchain file is the cross setup.
build_curl() {
  local b=$WORK/build/curl z=$1
  rm -rf "$b"; mkdir -p "$b"; cd "$b"
  cmake -S "$WORK/src/curl" -B . -G Ninja -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" \
    -DQUENVALE_WIN_DEPS="$z" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_INSTALL_PREFIX="$STAGE" -DBUILD_SHARED_LIBS=ON -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF \
    -DENABLE_MANUAL=OFF -DPICKY_COMPILER=OFF \
    -DCURL_USE_SCHANNEL=ON -DCURL_USE_OPENSSL=OFF -DCURL_WINDOWS_SSPI=ON \
    -DCURL_ZLIB=ON -DZLIB_INCLUDE_DIR="$z/include" -DZLIB_LIBRARY="$z/lib/libz.dll.a" \
    -DHTTP_ONLY=ON -DCURL_DISABLE_LDAP=ON -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_COOKIES=ON \
    -DCURL_DISABLE_MIME=ON -DCURL_DISABLE_NETRC=ON -DCURL_DISABLE_DOH=ON \
    -DCURL_DISABLE_ALTSVC=ON -DCURL_DISABLE_HSTS=ON -DENABLE_WEBSOCKETS=OFF \
    -DUSE_LIBIDN2=OFF -DUSE_WIN32_IDN=OFF -DCURL_USE_LIBPSL=OFF -DCURL_USE_LIBSSH2=OFF \
    -DCURL_USE_LIBSSH=OFF -DUSE_NGHTTP2=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF \
    -DENABLE_UNIX_SOCKETS=OFF -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none
  ninja -j2
  ninja install
}

# ---- cpp-httplib for the tests' in-process servers: upstream's header-only form (Debian
# installs a split header that needs its Linux library).
build_httplib() {
  mkdir -p "$STAGE/include"
  cp "$WORK/src/cpp-httplib/httplib.h" "$STAGE/include/"
}

check_names() {
  local d
  for d in z.dll libcrypto-3-x64.dll libcurl.dll; do
    [ -f "$PREFIX/bin/$d" ] || { say "expected $PREFIX/bin/$d"; ls "$PREFIX/bin" >&2; exit 1; }
  done
  # (whole dumps in variables: grep -q ending a pipe early would fail it under pipefail)
  local zdump cdump
  zdump=$($HOST-objdump -p "$PREFIX/bin/z.dll"); cdump=$($HOST-objdump -p "$PREFIX/bin/libcurl.dll")
  grep -qw 'inflate' <<<"$zdump" || { say "z.dll exports no inflate"; exit 1; }
  grep -q 'DLL Name: z.dll' <<<"$cdump" || { say "libcurl.dll does not import z.dll"; exit 1; }
}

# stage NAME FUNCTION [ARG...]: the library's own cache, keyed by its recipe, the compiler
# and the sources; sets STAGE to it.
stage() {
  local name=$1 fn=$2; shift 2
  local key
  key=$( { declare -f "$fn"; [ "$fn" = build_openssl ] && echo "$OPENSSL_OPTIONS"; [ "$fn" = build_curl ] && cat "$TOOLCHAIN"; "$CC" --version | head -1; printf '%s\n' "$@"; grep "^${name}_" "$WORK/src/sources.txt"; } | sha256sum | cut -c1-16)
  STAGE=$CACHE/stage/$name-$key
  if [ -f "$STAGE/.complete" ]; then say "$name cached"; return 0; fi
  rm -rf "$STAGE"; mkdir -p "$STAGE"
  step "$name" "$fn" "$@"
  touch "$STAGE/.complete"
}

t0=$SECONDS
step sources fetch_sources
stage zlib build_zlib; ZLIB=$STAGE
# OpenSSL and libcurl do not depend on each other: built side by side, libcurl's serial
# configure checks fill the core OpenSSL's make leaves idle. Each stage sets STAGE in its
# own subshell, so the parent asks for the directories afterwards (both then cached).
stage openssl build_openssl & openssl_job=$!
stage curl build_curl "$ZLIB" & curl_job=$!
openssl_rc=0; curl_rc=0
wait $openssl_job || openssl_rc=$?
wait $curl_job || curl_rc=$?
[ $openssl_rc -eq 0 ] && [ $curl_rc -eq 0 ] || exit 1
stage openssl build_openssl; OPENSSL=$STAGE
stage curl build_curl "$ZLIB"; CURL=$STAGE
stage cpp-httplib build_httplib; HTTPLIB=$STAGE
for s in "$ZLIB" "$OPENSSL" "$CURL" "$HTTPLIB"; do cp -a "$s"/. "$PREFIX"/; done
rm -f "$PREFIX/.complete"
check_names
touch "$PREFIX/.complete"
say "ready in $((SECONDS - t0)) s: $PREFIX"
echo "$PREFIX"
