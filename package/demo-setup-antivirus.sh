#!/usr/bin/env bash
# Demo hook for the companion antivirus actions: the stand-in companion (tests/standins/companion).
#   demo-setup-antivirus.sh stage DIR   its package on the demo's media, beside demo.msi, as tvs.msi
#   demo-setup-antivirus.sh prefix      the companion installed for real (version 7.0, its folder and
#                                       start-up entries), its start-menu shortcut made through the
#                                       shell's link object, one of its mutexes held while the demo
#                                       installs, and another maker's product in the uninstall list
set -euo pipefail
. "$(dirname "$0")/../scripts/wine-env.sh"
standins=$TWG_DEMO_STANDINS
case $1 in
  stage)
    cp "$standins/companion.msi" "$2/../tvs.msi"
    ;;
  prefix)
    wine msiexec /i "$(winpath "$standins/companion.msi")" /qn >/dev/null 2>&1
    wine "$standins/shell_link.exe" create \
      'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Taskan Virus Sentry\Taskan Virus Sentry 2002.lnk' \
      'C:\Program Files\Taskan Virus Sentry\cfgwiz.exe' >/dev/null 2>&1
    wine "$standins/named_object.exe" mutex VEL_TVSW32_MUTEX forever >/dev/null 2>&1 &
    sleep 1  # the mutex exists before the install looks for it
    wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sophos-SweepNT' /v DisplayName \
      /d "Sophos Anti-Virus for NT" /f >/dev/null 2>&1
    ;;
esac
