#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan and UBSan, build directory
# build-fuzz/) and runs each for SECONDS (default 10) from its seed corpus
# in fuzz/corpus/. Prints every target's executions and the total; exits
# non-zero when a target finds a crash, a leak or undefined behaviour (the
# input is kept in build-fuzz/findings/).
# Usage: scripts/fuzz.sh [SECONDS] [TARGET…]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"
shift || true
command -v clang++ >/dev/null || { echo "clang is missing: apt-get install clang libclang-rt-14-dev" >&2; exit 1; }
if [ ! -f build-fuzz/build.ninja ]; then
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELMAR_FUZZ=ON >/dev/null
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(fuzz_point_files fuzz_settings fuzz_language fuzz_ellipsoid_db fuzz_transformation_db fuzz_ntv2 fuzz_set_option)
fi
# Only the targets and what they link: no plugins, no program directory.
echo "fuzz.sh: building the fuzz targets in build-fuzz/ (clang, ASan, UBSan) ..."
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]}" >/dev/null
mkdir -p build-fuzz/findings
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
total=0
status=0
for target in "${targets[@]}"; do
  # A copy of the seeds: the corpus the run grows stays out of the repository.
  mkdir -p "$work/$target"
  cp fuzz/corpus/"$target"/* "$work/$target"/ 2>/dev/null || true
  log="$work/$target.log"
  if (cd "$work" && "$OLDPWD/build-fuzz/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$OLDPWD/build-fuzz/findings/$target-" -max_len=65536 -rss_limit_mb=2048 \
        "$work/$target" >"$log" 2>&1); then
    verdict="nothing found"
  else
    verdict="FOUND A FAULT (see build-fuzz/findings, log below)"
    status=1
    tail -40 "$log" >&2
  fi
  # The last statistics line counts (a log can hold them more than once).
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*$' || true)
  runs=${runs:-0}
  total=$((total + runs))
  printf '%-24s %12d executions  %s\n' "$target" "$runs" "$verdict"
done
printf '%-24s %12d executions\n' "total" "$total"
exit $status
