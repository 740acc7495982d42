#!/usr/bin/env bash
# Makes a private Wine prefix at $1 (never the user's own): booted, with the null display driver so
# windows, messages and message boxes work without an X server. Tests copy it (cp -a, about a second).
set -euo pipefail
. "$(dirname "$0")/wine-env.sh"
prefix=$1
if [ -f "$prefix/.twg-ready" ]; then exit 0; fi
rm -rf "$prefix"
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX=$prefix
wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.twg-ready"
echo "wine prefix ready: $prefix"
