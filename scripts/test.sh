#!/usr/bin/env bash
# Everything from a fresh Debian 12 machine: packages, the four build trees, then one ctest run
# (unit tests, fuzzers, export and import checks, the Wine tests per subsystem, the demo package).
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
"$src/scripts/bootstrap.sh"
"$src/scripts/build.sh"
cd "${TWG_BUILD:-$src/build}/native"
ctest --output-on-failure -j "${TWG_JOBS:-$(nproc)}" "$@"
