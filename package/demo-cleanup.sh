# Sourced by package/demo.sh: the uninstall cleanup. Before the removal the product is made to look
# used (data files in its folder, one of them held open by a running program; a downloaded setup
# tree; the shared TMain.exe counted once); after it the demo shows what went at once, what waits for
# the next restart, the batch file and its RunOnce value, and then restarts (a new wineserver) and shows
# what the restart removed.
cleanup_drive=$WINEPREFIX/drive_c
cleanup_product="$cleanup_drive/Program Files/Taskan Web Guard"
cleanup_shared="$cleanup_drive/Program Files/Common Files/Veltrane"
cleanup_holder=

cleanup_arrange() {
  mkdir -p "$cleanup_drive/TWGDownload/TWG/Setup/Cab" "$cleanup_shared"
  echo "setup" >"$cleanup_drive/TWGDownload/TWG/Setup/setup.exe"
  echo "cabinet" >"$cleanup_drive/TWGDownload/TWG/Setup/Cab/data1.cab"
  : >"$cleanup_drive/TWGDownload/TWG/Setup/empty.ini"
  echo "user data" >"$cleanup_product/TWGUM.DAT"
  echo "url list" >"$cleanup_product/URLLIST.lst"
  cp "$wintest/tmain_unreg.exe" "$cleanup_shared/TMain.exe"
  wine reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion\SharedDlls' \
    /v 'C:\Program Files\Common Files\Veltrane\TMain.exe' /t REG_DWORD /d 1 /f >/dev/null 2>&1
  # The running product keeps TWGUM.DAT open through the removal.
  wine "$wintest/hold_files.exe" 'C:\Program Files\Taskan Web Guard\TWGUM.DAT' >/dev/null 2>&1 &
  cleanup_holder=$!
  sleep 2
  echo "== before removal: product folder"
  ls "$cleanup_product" | sed 's/^/  /'
}

cleanup_files() {  # title
  echo "== $1: files"
  for path in "$cleanup_product/TWGUM.DAT" "$cleanup_product/URLLIST.lst" "$cleanup_product/LMSSIB.DAT" \
              "$cleanup_drive/windows/system32/SR.dat" "$cleanup_drive/TWGDownload/TWG/Setup/setup.exe" \
              "$cleanup_drive/TWGDownload/TWG/Setup/Cab/data1.cab" "$cleanup_shared/TMain.exe"; do
    if [ -e "$path" ]; then state=present; else state=gone; fi
    printf '  %-8s %s\n' "$state" "${path#"$cleanup_drive"/}"
  done
}

cleanup_show() {
  if [ -n "$cleanup_holder" ]; then
    kill "$cleanup_holder" 2>/dev/null || true
    wait "$cleanup_holder" 2>/dev/null || true
  fi
  cleanup_files remove
  echo "== remove: scheduled for the next restart (PendingFileRenameOperations)"
  wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null \
    | tr -d '\r' | sed -n 's/.*REG_MULTI_SZ *//p' | sed 's/\\0\\0/\n/g; s/\\0/\n/g' | sed '/^$/d; s/^/  delete /'
  echo "== remove: RunOnce VXFDeleteMe and the batch file it runs"
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\RunOnce' /v VXFDeleteMe 2>/dev/null \
    | tr -d '\r' | sed -n 's/^ *VXFDeleteMe *REG_SZ */  /p'
  find "$cleanup_drive/users" -name VXFDeleteMe.bat -exec sed -e 's/\r$//' -e 's/^/  | /' {} \; -exec echo \;
  echo "== remove: TMain.exe /UNREG (TMain.log)"
  sed -e 's/^/  /' "$cleanup_shared/TMain.log" 2>/dev/null || echo "  (not run)"
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wine cmd /c exit >/dev/null 2>&1 || true  # a new wineserver: Windows' next start
  wineserver -w 2>/dev/null || true
  cleanup_files "after restart"
  if [ -d "$cleanup_product" ]; then echo "  present  the product folder"; else echo "  gone     the product folder"; fi
}
