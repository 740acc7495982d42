#!/usr/bin/env bash
# Demo hook for the companion antivirus actions: the stand-in companion (tests/standins/companion) and
# its setup (tests/standins/tvs_setup*.exe).
#   demo-setup-antivirus.sh stage DIR   its package (tvs.msi) and its setup (TVSNT) on the media, beside
#                                       demo.msi; the consumer's setup is told to fail
#   demo-setup-antivirus.sh prefix      another maker's product in the uninstall list; for the corporate
#                                       edition the companion installed for real (version 7.0, its
#                                       folder, start-up entries, its shortcut made through the shell's
#                                       link object) and running (one of its mutexes held)
#   demo-setup-antivirus.sh removal     consumer: the user installs the companion after its failed setup,
#                                       and nothing removes it before this product's removal
#   demo-setup-antivirus.sh retry       consumer: after the stopped removal the user removes it
set -euo pipefail
. "$(dirname "$0")/../scripts/wine-env.sh"
standins=$TWG_DEMO_STANDINS
companion() { wine msiexec "$1" "$(winpath "$standins/companion.msi")" /qn >/dev/null 2>&1; }
case $1:$TWG_DEMO_EDITION in
  stage:*)
    media=$2/..
    cp "$standins/companion.msi" "$media/tvs.msi"
    mkdir -p "$media/TVSNT"
    cp "$standins/tvs_setup.exe" "$media/TVSNT/setup.exe"
    cp "$standins/tvs_setup_window.exe" "$media/TVSNT/"
    result=0; [ "$TWG_DEMO_EDITION" = consumer ] && result=1603
    printf '%s\n' "text Copying files" "percent 25" "text Registering" "percent 60" "percent 100" "exit $result" \
      >"$media/TVSNT/tvs_script.txt"
    ;;
  prefix:*)
    wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Sophos-SweepNT' /v DisplayName \
      /d "Sophos Anti-Virus for NT" /f >/dev/null 2>&1
    if [ "$TWG_DEMO_EDITION" = corporate ]; then
      companion /i
      wine "$standins/shell_link.exe" create \
        'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Taskan Virus Sentry\Taskan Virus Sentry 2002.lnk' \
        'C:\Program Files\Taskan Virus Sentry\cfgwiz.exe' >/dev/null 2>&1
      wine "$standins/named_object.exe" mutex VEL_TVSW32_MUTEX forever >/dev/null 2>&1 &
      sleep 1  # the mutex exists before the install looks for it
    fi
    ;;
  removal:consumer) companion /i ;;
  retry:consumer) companion /x ;;
esac
