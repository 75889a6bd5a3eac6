#!/usr/bin/env bash
# The Debian package end to end: scripts/package.sh builds it, lintian finds no error in
# it, and the unpacked package holds the expected files with root ownership and their
# modes. The programs are then run from the unpacked tree through the /usr/bin links:
# they must find the room page in /usr/lib/quenvale, and when that folder cannot be
# written (as for an ordinary user of a system install) the page host must leave it
# untouched. Builds through the project's build folder, so run it where building is allowed.
set -uo pipefail
cd "$(dirname "$0")/../.."

failures=0
pass() { echo "ok - $1"; }
fail() { echo "not ok - $1"; failures=$((failures + 1)); }
check() {
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

WORK=$(mktemp -d)
cleanup() {
  chmod -R u+w "$WORK" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT

# --- building ---------------------------------------------------------------------------
if ! DEB=$(bash scripts/package.sh); then
  echo "not ok - scripts/package.sh failed"
  exit 1
fi
VERSION=$(sed -n 's/.*USER_AGENT = "Quenvale\/\([0-9][0-9.]*\)".*/\1/p' shell/update.h)
ARCH=$(dpkg --print-architecture)
check "the package is build/quenvale_${VERSION}_${ARCH}.deb" \
  test "$DEB" = "$PWD/build/quenvale_${VERSION}_${ARCH}.deb" -a -s "$DEB"

field() { dpkg-deb -f "$DEB" "$1"; }
check "control: package quenvale, version $VERSION, architecture $ARCH" \
  test "$(field Package) $(field Version) $(field Architecture)" = "quenvale $VERSION $ARCH"
DEPENDS=$(field Depends)
for dep in libc6 libgtk-3-0 libwebkit2gtk-4.1-0 libcurl4 libssl3 libx11-6 ca-certificates; do
  check "depends on $dep" grep -Eq "(^|, )$dep( |,|$)" <<<"$DEPENDS"
done

# --- lintian ----------------------------------------------------------------------------
if LINTIAN=$(lintian --fail-on error "$DEB" 2>&1); then
  pass "lintian finds no error"
else
  fail "lintian finds no error"
fi
[ -n "$LINTIAN" ] && printf '%s\n' "$LINTIAN" | sed 's/^/# /'

# --- the listing ------------------------------------------------------------------------
# One line per entry: type+mode, owner, path, link target.
LISTING=$(dpkg-deb -c "$DEB" | awk '{ t = ""; if ($7 == "->") t = $8; print $1, $2, $6, t }')
entry() { grep -F -x -q -- "$1" <<<"$LISTING"; }
check "every entry is owned by root" bash -c '! grep -v " root/root " <<<"$1"' _ "$LISTING"
for p in quenvale wendrel quenvale-cli; do
  check "$p: executable in /usr/lib/quenvale" entry "-rwxr-xr-x root/root ./usr/lib/quenvale/$p "
  check "$p: /usr/bin link into /usr/lib/quenvale" entry "lrwxrwxrwx root/root ./usr/bin/$p ../lib/quenvale/$p"
  check "$p: manual page" entry "-rw-r--r-- root/root ./usr/share/man/man1/$p.1.gz "
done
for f in usr/share/applications/quenvale.desktop usr/share/icons/hicolor/128x128/apps/quenvale.png \
  usr/share/doc/quenvale/copyright usr/share/doc/quenvale/changelog.gz; do
  check "/$f" entry "-rw-r--r-- root/root ./$f "
done
if [ -f resources/wendrel.desktop ]; then
  check "the wallet's desktop entry" entry "-rw-r--r-- root/root ./usr/share/applications/wendrel.desktop "
fi

# The room page: exactly the files its build names, each readable by all and not executable.
# (The path goes in through the environment: as the first argument it would run the build.)
mapfile -t WEB_FILES < <(WEB_BUILD_SCRIPT=$PWD/web/tools/build.mjs node --input-type=module \
  -e "const m = await import(process.env.WEB_BUILD_SCRIPT); console.log(m.WEB_FILES.join('\n'));")
check "the page build names its files" test ${#WEB_FILES[@]} -gt 5
WEB_LISTED=$(grep -E '^-' <<<"$LISTING" | awk '{ print $3 }' | sed -n 's|^\./usr/lib/quenvale/QuenvaleWeb/||p' | sort)
check "the web folder holds exactly the page's files" \
  test "$WEB_LISTED" = "$(printf '%s\n' "${WEB_FILES[@]}" | sort)"
check "every page file is -rw-r--r--" \
  bash -c '! grep " ./usr/lib/quenvale/QuenvaleWeb/" <<<"$1" | grep -E "^-" | grep -v "^-rw-r--r-- "' _ "$LISTING"

# --- unpacked ---------------------------------------------------------------------------
ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"
chmod 0755 "$WORK"
for d in "$ROOT"/usr/share/applications/*.desktop; do
  check "$(basename "$d") is a valid desktop entry" desktop-file-validate "$d"
done
for p in quenvale wendrel quenvale-cli; do
  check "$p is stripped" bash -c '! readelf -S "$1" | grep -q "\.symtab"' _ "$ROOT/usr/lib/quenvale/$p"
done
check "the copyright file names the three.js licence" grep -q "^License: Expat" "$ROOT/usr/share/doc/quenvale/copyright"
check "the changelog starts at $VERSION" bash -c 'zcat "$1" | head -n 1 | grep -Fq "quenvale ($2)"' _ \
  "$ROOT/usr/share/doc/quenvale/changelog.gz" "$VERSION"

export QUENVALE_PROFILE= XDG_DATA_HOME=
check "quenvale-cli --help runs through its link" bash -c '"$1" --help | grep -q "quenvale-cli"' _ "$ROOT/usr/bin/quenvale-cli"
check "wendrel --help runs through its link" bash -c '"$1" --help | grep -q "wendrel"' _ "$ROOT/usr/bin/wendrel"

# The page host started through /usr/bin takes /usr/lib/quenvale/QuenvaleWeb as its web
# folder: where the folder can be written, its picture store (spots/) appears there.
WEB=$ROOT/usr/lib/quenvale/QuenvaleWeb
mkdir -p "$WORK/owner"
LOCALAPPDATA=$WORK/owner "$ROOT/usr/bin/quenvale-cli" page </dev/null >/dev/null
check "a writable installed web folder gets the picture store" test -d "$WEB/spots"
rm -rf "$WEB/spots"

# Read-only, as for a user of a system install: root-owned files for another user, or
# write permission taken away when the test itself is not root.
USER_DATA=$WORK/user
mkdir -p "$USER_DATA"
if [ "$(id -u)" -eq 0 ]; then
  chown 65534:65534 "$USER_DATA"
  AS_USER=(setpriv --reuid=65534 --regid=65534 --clear-groups)
else
  chmod -R a-w "$WEB"
  AS_USER=()
fi
BEFORE=$(cd "$WEB" && find . -printf '%p %s %m\n' | sort)
if "${AS_USER[@]}" env LOCALAPPDATA="$USER_DATA" "$ROOT/usr/bin/quenvale-cli" page </dev/null >/dev/null; then
  pass "the page host runs with a read-only web folder"
else
  fail "the page host runs with a read-only web folder"
fi
check "a read-only web folder is left untouched" test "$BEFORE" = "$(cd "$WEB" && find . -printf '%p %s %m\n' | sort)"
check "the user's data folder is made in the platform folder" test -d "$USER_DATA/Orvane/quenvale"

if [ "$failures" -gt 0 ]; then
  echo "package tests: $failures failed"
  exit 1
fi
echo "package tests: all passed"
