#!/usr/bin/env bash
# Fuzzes every reader with libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer.
#   scripts/fuzz.sh [seconds-per-target] [target...]
# All targets run at once; the system spreads them over the cores. Each starts from its seeds in
# fuzz/corpus/<target> and the past findings in fuzz/regressions/<target>; the corpus it
# grows stays in $ORB_FUZZ_BUILD_DIR/corpus, and a crash, hang, leak, out-of-memory or
# sanitizer report is written to $ORB_FUZZ_BUILD_DIR/findings/<target>/. Prints each
# target's executions and findings; fails when anything was found.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
build=${ORB_FUZZ_BUILD_DIR:-build-fuzz}
all=(zemax_lens native_document property_list glass_catalog_archive agf oslo_glass maker_tables scanner base64
     codev_lens oslo_lens tilted_telescope lens_catalogs)
[ $# -gt 0 ] && targets=("$@") || targets=("${all[@]}")

ORB_SETUP_FUZZ=1 bash scripts/setup.sh
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORB_BUILD_FUZZERS=ON -DORB_BUILD_TESTS=OFF -DORB_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
run_one() {
  local name=$1 seconds=$2 build=$3
  local corpus="$build/corpus/$name" findings="$build/findings/$name"
  rm -rf "$findings"
  mkdir -p "$corpus" "$findings"
  local seeds=()
  for d in "fuzz/corpus/$name" "fuzz/regressions/$name"; do [ -d "$d" ] && seeds+=("$d"); done
  # -timeout: one input taking longer is a hang; -rss_limit_mb: more memory is a finding.
  "$build/fuzz/fuzz_$name" "$corpus" "${seeds[@]}" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" \
    >"$build/findings/$name.log" 2>&1 || true
}
export -f run_one
mkdir -p "$build/findings"
printf '%s\n' "${targets[@]}" | xargs -P "${#targets[@]}" -I{} bash -c 'run_one "$@"' _ {} "$seconds" "$build"

status=0
printf '%-24s %14s  %s\n' target executions findings
for name in "${targets[@]}"; do
  log="$build/findings/$name.log"
  runs=$(grep -ao 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1 || true)
  found=$(find "$build/findings/$name" -type f 2>/dev/null | sort)
  reports=$(grep -acE '^SUMMARY: (Address|Leak|UndefinedBehavior)Sanitizer|runtime error:|ERROR: libFuzzer' "$log" || true)
  if [ -n "$found" ] || [ "${reports:-0}" -gt 0 ]; then
    status=1
    printf '%-24s %14s  %s\n' "$name" "${runs:-?}" "$(echo $found) (see $log)"
  else
    printf '%-24s %14s  %s\n' "$name" "${runs:-?}" none
  fi
done
exit $status
