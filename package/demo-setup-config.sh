#!/usr/bin/env bash
# Demo hook for the configuration writers.
#   demo-setup-config.sh stage DIR   nothing to add to the package
#   demo-setup-config.sh prefix      the services in the demo prefix (WINEPREFIX): a fresh prefix has
#                                    neither the network client nor the messenger service, whose
#                                    dependency lists the product's actions edit
set -euo pipefail
[ "${1:-}" = prefix ] || exit 0
wine sc create lanmanworkstation binpath= 'C:\windows\system32\notepad.exe' >/dev/null 2>&1
wine sc create Messenger binpath= 'C:\windows\system32\notepad.exe' >/dev/null 2>&1
wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\Messenger' /v DependOnService /t REG_MULTI_SZ \
  /d 'LanmanWorkstation\0NetBIOS' /f >/dev/null 2>&1
