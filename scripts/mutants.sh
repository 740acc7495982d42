#!/usr/bin/env bash
# Plants the deliberate faults of tests/mutants.txt one at a time into a scratch copy of the source and
# tells for each whether the tests meant to notice it do: "caught" or "survived", then a count.
#
#   scripts/mutants.sh [-l LIST] [ID...]     (IDs: run only these faults, e.g. while writing one)
#
# The scratch copy lives in $TWG_MUTANT_DIR (default build/mutants/src, so that ccache, keyed below
# /work/wt, serves its objects). It is refreshed file by file from the working tree, built once, and
# then rebuilt incrementally per fault: only the trees the fault's tests run on.
# Exit status: 0 when every fault run was caught.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
list=$src/tests/mutants.txt
if [ "${1:-}" = -l ]; then list=$(realpath "$2"); shift 2; fi
only=" $* "
scratch=${TWG_MUTANT_DIR:-$src/build/mutants/src}
build=$scratch/build
jobs=${TWG_JOBS:-2}
logs=$(dirname "$scratch")/logs

# --- The scratch copy: same files as the working tree (tracked and new), changed ones copied over -----
mkdir -p "$scratch" "$logs"
(cd "$src" && git ls-files -co --exclude-standard | grep -v '^build/') | sort >"$logs/files.want"
(cd "$scratch" && find . -path ./build -prune -o -type f -print | sed 's|^\./||') | sort >"$logs/files.have"
comm -13 "$logs/files.want" "$logs/files.have" | while IFS= read -r f; do rm -f "$scratch/$f"; done
while IFS= read -r f; do
  [ -f "$src/$f" ] || continue
  if ! cmp -s "$src/$f" "$scratch/$f"; then mkdir -p "$(dirname "$scratch/$f")"; cp -p "$src/$f" "$scratch/$f"; fi
done <"$logs/files.want"

echo "mutants: building the scratch copy in $scratch"
TWG_BUILD=$build TWG_TREES="win64 wintest" TWG_JOBS=$jobs "$scratch/scripts/build.sh" >"$logs/build.log" 2>&1 ||
  { tail -30 "$logs/build.log"; echo "mutants: the unchanged source does not build"; exit 2; }
cmake --build "$build/native" -j "$jobs" --target twg_unit_tests twgstore >>"$logs/build.log" 2>&1 ||
  { tail -30 "$logs/build.log"; echo "mutants: the unchanged source does not build"; exit 2; }

# --- One fault ----------------------------------------------------------------------------------------

# Replaces the one occurrence of FROM in FILE by TO; fails when FROM occurs other than exactly once.
substitute() {  # file from to
  FROM=$2 TO=$3 perl -0777 -i -pe '
    my ($from, $to) = ($ENV{FROM}, $ENV{TO});
    my $n = () = /\Q$from\E/g;
    die "found $n times\n" unless $n == 1;
    s/\Q$from\E/$to/;' "$1"
}

# Builds what the regex's tests run on: the unit runner, the offline tool, or the DLL and the runner.
build_for() {  # regex
  local targets=()
  [[ $1 == *unit* ]] && targets+=(twg_unit_tests)
  [[ $1 == *tool* ]] && targets+=(twgstore)
  if [ ${#targets[@]} -gt 0 ]; then cmake --build "$build/native" -j "$jobs" --target "${targets[@]}" || return 1; fi
  if [[ $1 == *wine* || $1 == *package* ]]; then
    cmake --build "$build/win64" -j "$jobs" && cmake --build "$build/wintest" -j "$jobs" || return 1
  fi
}

caught=0 survived=0 broken=0 total=0
declare -a survivors=()
run_fault() {  # id file from to regex description
  local id=$1 file=$2 from=$3 to=$4 regex=$5 what=$6
  [ "$only" = "  " ] || [[ $only == *" $id "* ]] || return 0
  total=$((total + 1))
  local log=$logs/$id.log start=$SECONDS verdict
  cp -p "$scratch/$file" "$logs/original"
  if ! substitute "$scratch/$file" "$from" "$to" 2>"$log"; then
    verdict="not applicable ($(cat "$log"))"
  elif ! build_for "$regex" >>"$log" 2>&1; then
    verdict="does not build"
  else
    # A group stops at its first failing test: a caught fault needs no more.
    if (cd "$build/native" && GTEST_FAIL_FAST=1 timeout 1200 ctest -j "$jobs" --output-on-failure -R "$regex" >>"$log" 2>&1); then
      verdict=survived
    else
      verdict=caught
    fi
  fi
  cp -p "$logs/original" "$scratch/$file"
  touch "$scratch/$file"  # older than the objects built from the fault otherwise
  case $verdict in
    caught) caught=$((caught + 1)) ;;
    survived) survived=$((survived + 1)); survivors+=("$id") ;;
    *) broken=$((broken + 1)); survivors+=("$id") ;;
  esac
  printf '%-9s %-4s %-44s %4ss  %s\n' "${verdict%% (*}" "$id" "$regex" $((SECONDS - start)) "$what"
  [[ $verdict != "not applicable"* ]] || echo "          $file: ${verdict#not applicable }"
}

# --- The list: blocks of "id:", "file:", "from:", "to:", "test:" lines, "#" comments -----------------
id= file= from= to= regex= what=
flush() {
  if [ -n "$id" ]; then run_fault "$id" "$file" "$from" "$to" "$regex" "$what" </dev/null; fi
  id= file= from= to= regex= what=
}
while IFS= read -r line || [ -n "$line" ]; do
  case $line in
    "id: "*) flush; id=${line#id: }; id=${id%% *}; what=${line#id: $id}; what=${what# } ;;
    "file: "*) file=${line#file: } ;;
    "from: "*) from=${line#from: } ;;
    "to: "*) to=${line#to: } ;;
    "to:") to= ;;
    "test: "*) regex=${line#test: } ;;
  esac
done <"$list"
flush

echo "mutants: $caught caught, $survived survived, $broken not applicable or not building, of $total"
[ ${#survivors[@]} -eq 0 ] || echo "mutants: look at ${survivors[*]} (logs in $logs)"
[ $((survived + broken)) -eq 0 ]
