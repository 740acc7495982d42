#!/usr/bin/env bash
# Arranges the demo's machine (WINEPREFIX set): a fresh prefix has neither the network client nor the
# messenger service, whose dependency lists the product's actions edit.
set -euo pipefail
wine sc create lanmanworkstation binpath= 'C:\windows\system32\notepad.exe' >/dev/null 2>&1
wine sc create Messenger binpath= 'C:\windows\system32\notepad.exe' >/dev/null 2>&1
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\Messenger' /v DependOnService /t REG_MULTI_SZ \
  /d 'LanmanWorkstation\0NetBIOS' /f >/dev/null 2>&1
