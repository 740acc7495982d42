#!/usr/bin/env bash
# Demo hook for the configuration writers.
#   demo-setup-config.sh stage DIR   the scan agent's package in the support folder beside the media
#                                    (an earlier-product package stands in for it)
#   demo-setup-config.sh prefix      the services in the demo prefix (WINEPREFIX): a fresh prefix has
#                                    neither the network client nor the messenger service, whose
#                                    dependency lists the product's actions edit; the tray program's
#                                    alert icon; the engine's start-up entry
set -euo pipefail
case ${1:-} in
  stage)
    mkdir -p "$2/../../support"
    cp "$TWG_DEMO_STANDINS/old_product_1.msi" "$2/../../support/scanagnt.msi"
    ;;
  prefix)
    wine sc create lanmanworkstation binpath= 'C:\windows\system32\notepad.exe' >/dev/null 2>&1
    wine sc create Messenger binpath= 'C:\windows\system32\notepad.exe' >/dev/null 2>&1
    wine reg add 'HKLM\SYSTEM\CurrentControlSet\Services\Messenger' /v DependOnService /t REG_MULTI_SZ \
      /d 'LanmanWorkstation\0NetBIOS' /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\Veltrane\VelTray\Taskan System Kit\Filter Criteria\Taskan Web Guard' \
      /v AlertIcon /d 'C:\Program Files\Taskan Web Guard\Icons.dll,3' /f >/dev/null 2>&1
    wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v grdapp \
      /d 'C:\Program Files\Taskan Web Guard\GRDAPP.EXE' /f >/dev/null 2>&1
    ;;
esac
