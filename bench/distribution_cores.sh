#!/usr/bin/env bash
# The residual distribution on one core and on all: a plane similarity
# (least squares) of N identical points (default 30,000) with the
# distribution off, on pinned to one core (taskset -c 0), and on with every
# core; prints the times and the ratios "distribution on / off" and "one core
# / all cores". The outputs of the two distributed runs must be equal.
# Usage: bench/distribution_cores.sh [POINTS]   (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
points="${1:-30000}"
cli="$PWD/build/bin/pelmar-cli"
[ -x "$cli" ] || { echo "build/bin/pelmar-cli is missing: run scripts/build.sh" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
python3 - "$points" "$work" <<'PY'
import math, random, sys
n, work = int(sys.argv[1]), sys.argv[2]
random.seed(3)
a, m = math.radians(0.001), 1.00001
with open(work + "/s.txt", "w") as s, open(work + "/t.txt", "w") as t:
    for i in range(n):
        y, x = 3500000 + random.uniform(0, 20000), 5400000 + random.uniform(0, 20000)
        s.write("P%d %.4f %.4f\n" % (i, y, x))
        t.write("P%d %.4f %.4f\n" % (i, 582 + m * (math.cos(a) * y - math.sin(a) * x) + random.gauss(0, 0.005),
                                     105 + m * (math.sin(a) * y + math.cos(a) * x) + random.gauss(0, 0.005)))
PY
run() {  # NAME DISTRIBUTE [PREFIX...]
  local name="$1" on="$2"
  shift 2
  local start end
  start=$(date +%s.%N)
  "$@" "$cli" -q --set SoldnerSettings.Type=1 --set Interpolation.InterpolationActive="$on" estimate similarity \
    --source "$work/s.txt" --target "$work/t.txt" --report "$work/$name.aus" --output "$work/$name.txt" --plot none \
    2>/dev/null
  end=$(date +%s.%N)
  python3 -c "print($end - $start)"
}
off=$(run off 0)
one=$(run one 1 taskset -c 0)
all=$(run all 1)
cmp -s "$work/one.txt" "$work/all.txt" || { echo "the outputs on one and on all cores differ" >&2; exit 1; }
printf 'identical points: %d, cores: %d\n' "$points" "$(nproc)"
printf 'distribution off:        %6.2f s\n' "$off"
printf 'distribution, one core:  %6.2f s\n' "$one"
printf 'distribution, all cores: %6.2f s\n' "$all"
python3 -c "print('on/off (all cores): %.1f   one core/all cores: %.2f' % ($all / $off, $one / $all))"
