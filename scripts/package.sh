#!/usr/bin/env bash
# Builds the Debian package build/quenvale_<version>_<arch>.deb: the three programs and the
# room page under /usr/lib/quenvale, links to the programs in /usr/bin, the desktop entries,
# the icon and the manual pages under /usr/share. It first builds what it packs (running
# scripts/setup.sh when the build folder is not configured yet) and prints the package's
# path. Runs as any user: files are owned by root in the package, not on disk.
set -euo pipefail
cd "$(dirname "$0")/.."
umask 022
# Replacement texts below are literal ("&" in a maintainer's name stays "&").
shopt -u patsub_replacement 2>/dev/null || true

BUILD=${QUENVALE_BUILD_DIR:-build}
MAINTAINER=${QUENVALE_MAINTAINER:-Quenvale developers <quenvale@orvane.app>}
PROGRAMS=(quenvale wendrel quenvale-cli)

die() { echo "package: $*" >&2; exit 1; }

if [ ! -f "$BUILD/build.ninja" ] || [ ! -d web/node_modules ]; then
  bash scripts/setup.sh
fi
BUILD=$(cd "$BUILD" && pwd)
if ! built=$(ninja -C "$BUILD" --quiet "${PROGRAMS[@]}" quenvale_share 2>&1); then
  printf '%s\n' "$built" >&2
  die "the build failed"
fi
WEB_OUT=$BUILD/bin/QuenvaleWeb
QUENVALE_WEB_OUT=$WEB_OUT node web/tools/build.mjs --if-needed >/dev/null || die "the room page build failed"

# The program names its own version; the package and its changelog must agree with it.
VERSION=$(sed -n 's/.*USER_AGENT = "Quenvale\/\([0-9][0-9.]*\)".*/\1/p' shell/update.h)
[ -n "$VERSION" ] || die "no version in shell/update.h"
CHANGELOG_VERSION=$(sed -n '1s/^quenvale (\([^)]*\)).*/\1/p' packaging/changelog)
[ "$CHANGELOG_VERSION" = "$VERSION" ] || die "packaging/changelog starts at $CHANGELOG_VERSION, the program is $VERSION"
ARCH=$(dpkg --print-architecture)
OUT=$BUILD/quenvale_${VERSION}_${ARCH}.deb

# Staged as debian/quenvale under a folder with a debian/control, the layout
# dpkg-shlibdeps expects.
STAGE=$BUILD/package
ROOT=$STAGE/debian/quenvale
LIB=$ROOT/usr/lib/quenvale
rm -rf "$STAGE"
mkdir -p "$ROOT/DEBIAN" "$LIB" "$ROOT/usr/bin" "$ROOT/usr/share/man/man1" "$ROOT/usr/share/doc/quenvale"

# The programs find the room page and each other beside their real file
# (/proc/self/exe), so /usr/bin holds links, not copies. Stripped copies: the build's own
# binaries keep their symbols.
for p in "${PROGRAMS[@]}"; do
  [ -x "$BUILD/bin/$p" ] || die "$BUILD/bin/$p is missing"
  install -m 0755 "$BUILD/bin/$p" "$LIB/$p"
  strip --strip-unneeded --remove-section=.comment --remove-section=.note "$LIB/$p"
  ln -s "../lib/quenvale/$p" "$ROOT/usr/bin/$p"
  gzip -9n -c "packaging/man/$p.1" >"$ROOT/usr/share/man/man1/$p.1.gz"
done

# Only the files the page build names: a picture store (spots/) left in the build's
# folder by a run of the program is not part of the page.
# (The path goes in through the environment: as the first argument it would run the build.)
mapfile -t WEB_FILES < <(WEB_BUILD_SCRIPT=$PWD/web/tools/build.mjs node --input-type=module \
  -e "const m = await import(process.env.WEB_BUILD_SCRIPT); console.log(m.WEB_FILES.join('\n'));")
[ ${#WEB_FILES[@]} -gt 0 ] || die "the room page names no files"
for f in "${WEB_FILES[@]}"; do
  [ -f "$WEB_OUT/$f" ] || die "$WEB_OUT/$f is missing"
  install -D -m 0644 "$WEB_OUT/$f" "$LIB/QuenvaleWeb/$f"
done

# Desktop entries and icons as the build lays them out; the wallet's entry is taken from
# resources/ while the build does not lay it out.
for f in "$BUILD"/share/applications/*.desktop; do
  if [ -f "$f" ]; then install -D -m 0644 "$f" "$ROOT/usr/share/applications/$(basename "$f")"; fi
done
if [ -f resources/wendrel.desktop ] && [ ! -f "$ROOT/usr/share/applications/wendrel.desktop" ]; then
  install -D -m 0644 resources/wendrel.desktop "$ROOT/usr/share/applications/wendrel.desktop"
fi
[ -f "$ROOT/usr/share/applications/quenvale.desktop" ] || die "the build laid out no quenvale.desktop"
(cd "$BUILD/share" && find icons -type f \( -name '*.png' -o -name '*.svg' \)) | while read -r icon; do
  install -D -m 0644 "$BUILD/share/$icon" "$ROOT/usr/share/$icon"
done
[ -f "$ROOT/usr/share/icons/hicolor/128x128/apps/quenvale.png" ] || die "the build laid out no icon"

# The copyright file carries the licence of the three.js copy the page was built with.
THREE_LICENSE=web/node_modules/three/LICENSE
[ -f "$THREE_LICENSE" ] || die "$THREE_LICENSE is missing"
THREE_COPYRIGHT=$(sed -n 's/^Copyright \(©\|(c)\) *//p' "$THREE_LICENSE" | head -n 1)
[ -n "$THREE_COPYRIGHT" ] || die "no copyright line in $THREE_LICENSE"
COPYRIGHT=$(awk -v licence="$THREE_LICENSE" '
  $0 == "@THREE_LICENSE@" {
    # The text after the title and copyright lines, indented; blank lines become " .".
    started = 0
    while ((getline line < licence) > 0) {
      if (!started) { if (line ~ /^Permission/) started = 1; else continue }
      sub(/[ \t]+$/, "", line)
      print (line == "" ? " ." : " " line)
    }
    next
  }
  { print }
' packaging/copyright)
COPYRIGHT=${COPYRIGHT//@MAINTAINER@/$MAINTAINER}
printf '%s\n' "${COPYRIGHT//@THREE_COPYRIGHT@/$THREE_COPYRIGHT}" >"$ROOT/usr/share/doc/quenvale/copyright"
CHANGELOG=$(<packaging/changelog)
printf '%s\n' "${CHANGELOG//@MAINTAINER@/$MAINTAINER}" | gzip -9n >"$ROOT/usr/share/doc/quenvale/changelog.gz"

# Depends: the shared libraries the programs link, plus what they reach without linking:
# libX11 is opened at run time to raise the wallet's window, and every chain service is
# HTTPS, which needs the CA certificates.
printf 'Source: quenvale\n\nPackage: quenvale\nArchitecture: any\n' >"$STAGE/debian/control"
SHLIBS=$(cd "$STAGE" && dpkg-shlibdeps -O "${PROGRAMS[@]/#/-edebian/quenvale/usr/lib/quenvale/}" |
  sed -n 's/^shlibs:Depends=//p')
[ -n "$SHLIBS" ] || die "dpkg-shlibdeps found no dependencies"
DEPENDS="$SHLIBS, libx11-6, ca-certificates"

find "$ROOT" -type d -exec chmod 0755 {} +
(cd "$ROOT" && find usr -type f -print0 | sort -z | xargs -0 md5sum) >"$ROOT/DEBIAN/md5sums"
INSTALLED_SIZE=$(du -s -k --apparent-size --exclude=DEBIAN "$ROOT" | cut -f1)
CONTROL=$(<packaging/control.in)
CONTROL=${CONTROL//@VERSION@/$VERSION}
CONTROL=${CONTROL//@ARCH@/$ARCH}
CONTROL=${CONTROL//@MAINTAINER@/$MAINTAINER}
CONTROL=${CONTROL//@INSTALLED_SIZE@/$INSTALLED_SIZE}
printf '%s\n' "${CONTROL//@DEPENDS@/$DEPENDS}" >"$ROOT/DEBIAN/control"
chmod 0644 "$ROOT/DEBIAN/control" "$ROOT/DEBIAN/md5sums"

rm -f "$OUT"
dpkg-deb --root-owner-group -Zxz --build "$ROOT" "$OUT" >/dev/null
echo "$OUT"
