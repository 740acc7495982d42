#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need. Idempotent: installs only what is
# missing. Never adds the i386 architecture: only 64-bit programs run under Wine here.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64
          binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 wixl msitools googletest
          libgtest-dev libbenchmark-dev libssl-dev python3 locales)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}"
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
