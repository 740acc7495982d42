#!/usr/bin/env bash
# Demo hook for the earlier-version and shutdown actions.
#   demo-setup-versions.sh stage DIR   the shared main program at its current version (5.1.0.7), which
#                                      the package carries in its Binary table
#   demo-setup-versions.sh prefix      the shared main program at an older version (5.0.9.9) in the
#                                      maker's shared folder; the running product: one window of each
#                                      class the shutdown actions close (each its own process, since
#                                      closing a window ends its process), its two services and the
#                                      user manager; for the corporate edition an earlier product
#                                      ("Veltrane Desktop Firewall 2.0") that the install removes
set -euo pipefail
. "$(dirname "$0")/../scripts/wine-env.sh"
standins=$TWG_DEMO_STANDINS
case $1 in
  stage)
    cp "$standins/tmain_5.1.0.7.exe" "$2/TMain.exe"
    ;;
  prefix)
    shared="$WINEPREFIX/drive_c/Program Files/Common Files/Veltrane"
    mkdir -p "$shared"
    cp "$standins/tmain_5.0.9.9.exe" "$shared/TMain.exe"
    wine reg add 'HKLM\Software\Veltrane\InstalledApps' /v 'Veltrane Shared Directory' \
      /d 'C:\Program Files\Common Files\Veltrane' /f >/dev/null 2>&1
    wine regsvr32 /s "$(winpath "$standins/state_server.dll")" >/dev/null 2>&1
    wine reg add 'HKLM\Software\TWGTest\StateServer\Options' /v 'product enabled' /d enabled /f >/dev/null 2>&1
    wine reg add 'HKLM\Software\TWGTest\StateServer\Options' /v 'user type' /d Home /f >/dev/null 2>&1
    log='C:\TWGDemo\product.txt'
    for class in GrdLog CorrixStats VELIntegratorWnd GRDAPP Vel_DockedWnd_Parent_Class; do
      wine "$standins/product_windows.exe" "$log" "$class" >/dev/null 2>&1 &
    done
    for service in VelPxSvc TWGUM; do
      wine sc create $service binpath= "\"$(winpath "$standins/product_service.exe")\" $service $log 0" >/dev/null 2>&1
      wine sc start $service >/dev/null 2>&1 || true
    done
    # On the 9x family the user manager is any process whose program is named TWGUM.EXE.
    mkdir -p "$WINEPREFIX/drive_c/TWGDemo/um"
    cp "$standins/named_object.exe" "$WINEPREFIX/drive_c/TWGDemo/um/TWGUM.exe"
    ( wine 'C:\TWGDemo\um\TWGUM.exe' event TWGDemoUm forever >/dev/null 2>&1
      echo "TWGUM.EXE ended, exit code $?" >>"$WINEPREFIX/drive_c/TWGDemo/product.txt" ) &
    if [ "$TWG_DEMO_EDITION" = corporate ]; then
      wine msiexec /i "$(winpath "$standins/old_product_3.msi")" /qn >/dev/null 2>&1
      # This product's folder entry, which the earlier product's removal leaves in place: no restart.
      wine reg add 'HKLM\Software\Veltrane\InstalledApps' /v 'Taskan Web Guard' \
        /d 'C:\Program Files\Taskan Web Guard' /f >/dev/null 2>&1
    fi
    sleep 2  # the windows and the services are up before the install looks for them
    ;;
esac
