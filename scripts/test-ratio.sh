#!/usr/bin/env bash
# Prints the size of the test code against the product code, in non-blank lines of tracked files:
# C/C++ sources, scripts and CMake files under tests/ against C/C++ sources everywhere else.
# The tests are meant to stay at a third of the product or less.   scripts/test-ratio.sh [-v]
set -euo pipefail
cd "$(dirname "$0")/.."
test_files() { git ls-files tests | grep -E '\.(c|cc|cpp|h|hpp|sh|py|cmake)$|CMakeLists\.txt$'; }
product_files() { git ls-files | grep -v '^tests/' | grep -E '\.(c|cc|cpp|h|hpp)$'; }
lines() { xargs -r grep -cv '^\s*$' | awk -F: '{ s += $2 } END { print s + 0 }'; }
if [ "${1:-}" = -v ]; then test_files | xargs grep -cv '^\s*$' | sort -t: -k2 -nr | head -20; fi
awk -v t="$(test_files | lines)" -v p="$(product_files | lines)" \
  'BEGIN { printf "tests %d, product %d: ratio %.2f\n", t, p, t / p }'
