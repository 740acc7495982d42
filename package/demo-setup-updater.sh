#!/usr/bin/env bash
# Demo hook for the updater actions: the update program's stand-ins (tests/standins/updater).
#   demo-setup-updater.sh stage DIR   the product's files the package installs: its engine application
#                                     (the stand-in GRDAPP.EXE), the service and the URL-list component
#   demo-setup-updater.sh prefix      the update program in the demo prefix (WINEPREFIX): its folder,
#                                     registered objects, and the log in which the stand-ins record
set -euo pipefail
. "$(dirname "$0")/../scripts/wine-env.sh"
standins=$TWG_DEMO_STANDINS
case $1 in
  stage)
    cp "$standins/GRDAPP.EXE" "$2/"
    echo "engine service" > "$2/GRDSERV.EXE"
    echo "URL-list component" > "$2/TWGFETP.DLL"
    ;;
  prefix)
    skyfetch='C:\Program Files\Veltrane\Skyfetch'
    mkdir -p "$WINEPREFIX/drive_c/Program Files/Veltrane/Skyfetch" "$WINEPREFIX/drive_c/TWGDemo"
    for f in UDALL.EXE Autofetch.exe V32UPDR1.DLL updater_objects.dll; do
      cp "$standins/$f" "$WINEPREFIX/drive_c/Program Files/Veltrane/Skyfetch/"
    done
    wine regsvr32 /s "$skyfetch\\updater_objects.dll" >/dev/null 2>&1
    for value in Skyfetch Skyfetch1; do
      wine reg add 'HKLM\SOFTWARE\Veltrane\SharedUsage' /v $value /d "$skyfetch" /f >/dev/null 2>&1
    done
    wine reg add 'HKLM\Software\TWGTest\Updater' /v Log /d 'C:\TWGDemo\updater-calls.txt' /f >/dev/null 2>&1
    # The update program's automatic mode is on, so that fnDisableUDAutoupdate has something to switch off.
    wine reg add 'HKLM\Software\TWGTest\Updater' /v AutoUpdateEnabled /t REG_DWORD /d 1 /f >/dev/null 2>&1
    ;;
esac
