#!/usr/bin/env bash
# Makes a quiet 64-bit Wine prefix at $WINEPREFIX for the test runs: no Mono/Gecko
# installers, no menu entries, no crash dialog (a crash prints its backtrace), Windows 10.
set -euo pipefail
: "${WINEPREFIX:?}"
export WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe="
rm -rf "$WINEPREFIX"
wine wineboot --init
wineserver -w
# Debian's Wine leaves its own fonts out of new prefixes; windows need a dialog font.
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
wineserver -w
touch "$WINEPREFIX/.quenvale-ready"
