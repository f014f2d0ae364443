#!/usr/bin/env bash
# Time and peak memory of a large least-squares estimation against numpy:
# N identical points (default 1,000,000; bench/identical_points.py) fitted by
# `pelmar-cli estimate` with the report and the residual plot beside it
# (thinned above 5,000 points), and the same model fitted by numpy in two
# ways: "numpy fit" reads the coordinates alone with np.loadtxt and fits
# them by np.linalg.lstsq (centred, as Pelmar reduces them); "numpy job"
# does the least a user's script must to stand in for the run: it reads the
# names too, pairs the points by name (np.intersect1d), fits, and writes
# each point's name, computed coordinates and residuals. Pelmar also tests
# every point and writes a report of 390 bytes a point; the job is the
# yardstick the memory and time targets are read against, the fit the
# floor. Everything runs under /usr/bin/time -v, each RUNS times (default
# 3); the medians of the wall time and of the maximum resident set size
# are printed with the ratios Pelmar / numpy.
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
# JOB=1: the names read too, the points paired by name, each one's result written.
cat > "$work/fit.py" <<'PY'
import os
import sys
import numpy as np
kind, source, target, out = sys.argv[1:5]
job = os.environ.get("JOB") == "1"
columns = (1, 2) if kind == "plane" else (1, 2, 3)
s = np.loadtxt(source, usecols=columns)
t = np.loadtxt(target, usecols=columns)
if job:
    names, si, ti = np.intersect1d(np.loadtxt(source, usecols=0, dtype=str),
                                   np.loadtxt(target, usecols=0, dtype=str),
                                   assume_unique=True, return_indices=True)
    s, t = s[si], t[ti]
s0 = s - s.mean(axis=0)
t0 = t - t.mean(axis=0)
n = len(s0)
if kind == "plane":
    # Y = a·y − b·x + tY, X = b·y + a·x + tX (the rows Pelmar adjusts)
    a = np.zeros((2 * n, 4))
    a[0::2, 0], a[0::2, 1], a[0::2, 2] = s0[:, 0], -s0[:, 1], 1.0
    a[1::2, 0], a[1::2, 1], a[1::2, 3] = s0[:, 1], s0[:, 0], 1.0
    l = t0.ravel()
else:
    # Linearised Helmert: t − s = T + m·s + R·s with small rotations.
    a = np.zeros((3 * n, 7))
    x, y, z = s0[:, 0], s0[:, 1], s0[:, 2]
    a[0::3, 0], a[1::3, 1], a[2::3, 2] = 1.0, 1.0, 1.0
    a[0::3, 3], a[1::3, 3], a[2::3, 3] = x, y, z
    a[1::3, 4], a[2::3, 4] = z, -y
    a[0::3, 5], a[2::3, 5] = -z, x
    a[0::3, 6], a[1::3, 6] = y, -x
    l = (t0 - s0).ravel()
solution, omega, rank, _ = np.linalg.lstsq(a, l, rcond=None)
print("numpy parameters:", " ".join("%.9g" % v for v in solution), file=sys.stderr)
if job:
    v = (a @ solution - l).reshape(n, -1)
    computed = t + v
    line = "%s" + " %.4f" * (2 * len(columns)) + "\n"
    with open(out, "w") as o:
        o.writelines(line % (name, *c, *r) for name, c, r in zip(names, computed, v))
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

pelmar_times=() pelmar_rss=() fit_times=() fit_rss=() job_times=() job_rss=()
for _ in $(seq "$runs"); do
  read -r seconds rss < <(measure "$cli" -q "${summary[@]}" "${settings[@]}" --set Interpolation.InterpolationActive=0 \
    estimate "$model" --source "$work/s.txt" --target "$work/t.txt" --report "$work/run.aus" "$@")
  pelmar_times+=("$seconds") pelmar_rss+=("$rss")
  read -r seconds rss < <(measure "$numpy_python" "$work/fit.py" "$kind" "$work/s.txt" "$work/t.txt" "$work/fit.txt")
  fit_times+=("$seconds") fit_rss+=("$rss")
  read -r seconds rss < <(JOB=1 measure "$numpy_python" "$work/fit.py" "$kind" "$work/s.txt" "$work/t.txt" "$work/job.txt")
  job_times+=("$seconds") job_rss+=("$rss")
done
printf 'identical points: %d, model: %s, runs: %d (medians), cores: %d\n' "$points" "$model" "$runs" "$(nproc)"
printf 'report: %d bytes%s\n' "$(stat -c %s "$work/run.aus")" \
  "$([ ${#summary[@]} -gt 0 ] && printf ', summary: %d bytes' "$(stat -c %s "$work/run.json")")"
python3 - "$(median "${pelmar_times[@]}")" "$(median "${pelmar_rss[@]}")" \
  "$(median "${job_times[@]}")" "$(median "${job_rss[@]}")" \
  "$(median "${fit_times[@]}")" "$(median "${fit_rss[@]}")" <<'PY'
import sys
pt, pm, jt, jm, ft, fm = map(float, sys.argv[1:])
print("%-16s %8s %12s" % ("", "time", "peak RSS"))
print("%-16s %6.2f s %9.0f MB" % ("pelmar", pt, pm / 1024))
print("%-16s %6.2f s %9.0f MB" % ("numpy job", jt, jm / 1024))
print("%-16s %6.2f s %9.0f MB" % ("numpy fit", ft, fm / 1024))
print("%-16s %7.2fx %11.2fx   (targets 1.5x, 1.3x)" % ("pelmar / job", pt / jt, pm / jm))
print("%-16s %7.2fx %11.2fx" % ("pelmar / fit", pt / ft, pm / fm))
PY
