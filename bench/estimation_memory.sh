#!/usr/bin/env bash
# Time and peak memory of a large least-squares estimation against numpy:
# N identical points (default 1,000,000; bench/identical_points.py) fitted by
# `pelmar-cli estimate` with the report and the residual plot beside it
# (thinned above 5,000 points), and the same model fitted by np.linalg.lstsq
# on the points read with np.loadtxt (centred, as Pelmar reduces them). Both
# run under /usr/bin/time -v; each is run RUNS times (default 3) and the
# medians of the wall time and of the maximum resident set size are printed
# with the ratios Pelmar / numpy.
# MODEL: similarity (plane, 4 parameters; default) or helmert (spatial,
# rigorous 7 parameters; numpy fits the linearised one). Further arguments
# go to pelmar-cli estimate (e.g. --output FILE, --plot none).
# PELMAR_CLI names another pelmar-cli to time (an older build, say);
# SUMMARY=1 has it write --summary too.
# Usage: bench/estimation_memory.sh [POINTS] [MODEL] [ESTIMATE-ARGS...]   (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
points="${1:-1000000}"
model="${2:-similarity}"
shift $(( $# < 2 ? $# : 2 ))
runs="${RUNS:-3}"
cli="${PELMAR_CLI:-$PWD/build/bin/pelmar-cli}"
[ -x "$cli" ] || { echo "$cli is missing: run scripts/build.sh" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "/usr/bin/time is missing: apt-get install time" >&2; exit 1; }
numpy_python=""
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c "import numpy" 2>/dev/null; then numpy_python="$candidate"; break; fi
done
[ -n "$numpy_python" ] || { echo "numpy is missing: apt-get install python3-numpy" >&2; exit 1; }
case "$model" in
  similarity) kind=plane; settings=(--set SoldnerSettings.Type=1) ;;
  helmert) kind=spatial; settings=(--set HelmertTrafo3D.Type=1) ;;
  *) echo "MODEL: similarity or helmert, not $model" >&2; exit 2 ;;
esac
work="$(mktemp -d)"
summary=()
[ "${SUMMARY:-0}" = 1 ] && summary=(--summary "$work/run.json")
trap 'rm -rf "$work"' EXIT
python3 bench/identical_points.py "$kind" "$points" "$work"
cat > "$work/fit.py" <<'PY'
import sys
import numpy as np
kind, source, target = sys.argv[1:4]
columns = (1, 2) if kind == "plane" else (1, 2, 3)
s = np.loadtxt(source, usecols=columns)
t = np.loadtxt(target, usecols=columns)
s -= s.mean(axis=0)
t -= t.mean(axis=0)
n = len(s)
if kind == "plane":
    # Y = a·y − b·x + tY, X = b·y + a·x + tX (the rows Pelmar adjusts)
    a = np.zeros((2 * n, 4))
    a[0::2, 0], a[0::2, 1], a[0::2, 2] = s[:, 0], -s[:, 1], 1.0
    a[1::2, 0], a[1::2, 1], a[1::2, 3] = s[:, 1], s[:, 0], 1.0
    l = t.ravel() - 0.0
else:
    # Linearised Helmert: t − s = T + m·s + R·s with small rotations.
    a = np.zeros((3 * n, 7))
    x, y, z = s[:, 0], s[:, 1], s[:, 2]
    a[0::3, 0], a[1::3, 1], a[2::3, 2] = 1.0, 1.0, 1.0
    a[0::3, 3], a[1::3, 3], a[2::3, 3] = x, y, z
    a[1::3, 4], a[2::3, 4] = z, -y
    a[0::3, 5], a[2::3, 5] = -z, x
    a[0::3, 6], a[1::3, 6] = y, -x
    l = (t - s).ravel()
solution, omega, rank, _ = np.linalg.lstsq(a, l, rcond=None)
print("numpy parameters:", " ".join("%.9g" % v for v in solution), file=sys.stderr)
PY

# Runs a command under /usr/bin/time -v; prints "seconds kilobytes".
measure() {
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>"$work/stderr.txt" || {
    cat "$work/stderr.txt" >&2
    echo "failed: $*" >&2
    exit 1
  }
  python3 - "$work/time.txt" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
clock = re.search(r"Elapsed \(wall clock\) time.*: (\S+)", text).group(1).split(":")
seconds = sum(float(part) * 60 ** i for i, part in enumerate(reversed(clock)))
rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1))
print(seconds, rss)
PY
}
median() { python3 -c "import statistics, sys; print(statistics.median(float(v) for v in sys.argv[1:]))" "$@"; }

pelmar_times=() pelmar_rss=() numpy_times=() numpy_rss=()
for _ in $(seq "$runs"); do
  read -r seconds rss < <(measure "$cli" -q "${summary[@]}" "${settings[@]}" --set Interpolation.InterpolationActive=0 \
    estimate "$model" --source "$work/s.txt" --target "$work/t.txt" --report "$work/run.aus" "$@")
  pelmar_times+=("$seconds") pelmar_rss+=("$rss")
  read -r seconds rss < <(measure "$numpy_python" "$work/fit.py" "$kind" "$work/s.txt" "$work/t.txt")
  numpy_times+=("$seconds") numpy_rss+=("$rss")
done
pt=$(median "${pelmar_times[@]}") pm=$(median "${pelmar_rss[@]}")
nt=$(median "${numpy_times[@]}") nm=$(median "${numpy_rss[@]}")
printf 'identical points: %d, model: %s, runs: %d (medians), cores: %d\n' "$points" "$model" "$runs" "$(nproc)"
printf 'report: %d bytes%s\n' "$(stat -c %s "$work/run.aus")" \
  "$([ ${#summary[@]} -gt 0 ] && printf ', summary: %d bytes' "$(stat -c %s "$work/run.json")")"
python3 - "$pt" "$pm" "$nt" "$nm" <<'PY'
import sys
pt, pm, nt, nm = map(float, sys.argv[1:])
print("%-8s %8s %12s" % ("", "time", "peak RSS"))
print("%-8s %6.2f s %9.0f MB" % ("pelmar", pt, pm / 1024))
print("%-8s %6.2f s %9.0f MB" % ("numpy", nt, nm / 1024))
print("%-8s %7.2fx %11.2fx" % ("ratio", pt / nt, pm / nm))
PY
