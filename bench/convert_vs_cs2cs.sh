#!/usr/bin/env bash
# Whole-file benchmark: converts N geographic points (default 1,000,000) to
# Gauss-Krueger with `pelmar-cli convert 1000` and with PROJ's cs2cs on the
# same machine in the same run, same points and same digits (millimetres),
# and prints both times, the ratio and pelmar-cli's peak memory for N and N/10
# points (streamed files: the peak should not grow with the file).
# Usage: bench/convert_vs_cs2cs.sh [POINTS]   (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
points="${1:-1000000}"
command -v cs2cs >/dev/null || { echo "cs2cs is missing: apt-get install proj-bin" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$points" "$work" <<'PY'
import random, sys
n, work = int(sys.argv[1]), sys.argv[2]
random.seed(1)
with open(work + "/geo.txt", "w") as pel, open(work + "/lonlat.txt", "w") as cs, open(work + "/geo-small.txt", "w") as small:
    for i in range(n):
        b, l = 47.5 + random.random() * 7.0, 7.5 + random.random() * 3.0
        pel.write("P%d %.9f %.9f\n" % (i, b, l))
        cs.write("%.9f %.9f\n" % (l, b))
        if i < n // 10:
            small.write("P%d %.9f %.9f\n" % (i, b, l))
PY

python3 - "$work" <<'PY'
import resource, subprocess, sys, time
work = sys.argv[1]
def timed(command, stdin=None, stdout=None):
    start = time.perf_counter()
    subprocess.run(command, stdin=stdin, stdout=stdout, check=True)
    return time.perf_counter() - start
pelmar = ["build/bin/pelmar-cli", "-q", "--settings", work + "/none.ini", "--ellipsoid", "Bessel",
          "--set", "L0Settings.L0Auto=0", "--set", "L0Settings.L0=9", "--set", "GeneralSettings.NachkommaKartesisch=3",
          "convert", "1000"]
small = timed(pelmar + [work + "/geo-small.txt", work + "/gk-small.txt"])
peak_small = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
t_pelmar = timed(pelmar + [work + "/geo.txt", work + "/gk.txt"])
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
with open(work + "/lonlat.txt") as fin, open(work + "/cs2cs.txt", "w") as fout:
    t_cs2cs = timed(["cs2cs", "-f", "%.3f", "+proj=longlat", "+ellps=bessel", "+to", "+proj=tmerc", "+lon_0=9",
                     "+k=1", "+x_0=3500000", "+ellps=bessel"], stdin=fin, stdout=fout)
first_pelmar = open(work + "/gk.txt").readline().split()
first_cs2cs = open(work + "/cs2cs.txt").readline().split()
print("points:           %d" % sum(1 for _ in open(work + "/geo.txt")))
print("pelmar-cli:       %.3f s" % t_pelmar)
print("cs2cs:            %.3f s" % t_cs2cs)
print("ratio:            %.2f (cs2cs time / pelmar-cli time)" % (t_cs2cs / t_pelmar))
print("peak memory:      %.1f MiB for a tenth of the points, %.1f MiB for all" % (peak_small / 1024, peak / 1024))
print("first point:      pelmar %s %s, cs2cs %s %s" % (first_pelmar[1], first_pelmar[2], first_cs2cs[0], first_cs2cs[1]))
PY
