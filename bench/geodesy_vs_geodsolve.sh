#!/usr/bin/env bash
# Whole-file benchmark: N inverse geodetic problems (default 1,000,000;
# worldwide random pairs, WGS84, decimal degrees) by `pelmar-cli geodesy
# inverse` and by GeographicLib's `GeodSolve -i` on the same machine, same
# pairs; prints both times, the ratio and pelmar-cli's peak memory.
# Usage: bench/geodesy_vs_geodsolve.sh [PAIRS]   (after scripts/build.sh; needs geographiclib-tools)
set -euo pipefail
cd "$(dirname "$0")/.."
pairs="${1:-1000000}"
command -v GeodSolve >/dev/null || { echo "GeodSolve is missing: apt-get install geographiclib-tools" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$pairs" "$work" <<'PY'
import random, sys
n, work = int(sys.argv[1]), sys.argv[2]
random.seed(1)
with open(work + "/pel.txt", "w") as pel, open(work + "/gs.txt", "w") as gs:
    for i in range(n):
        p = (random.uniform(-90, 90), random.uniform(-180, 180), random.uniform(-90, 90), random.uniform(-180, 180))
        pel.write("P%d %.9f %.9f %.9f %.9f\n" % ((i,) + p))
        gs.write("%.9f %.9f %.9f %.9f\n" % p)
PY

python3 - "$work" <<'PY'
import resource, subprocess, sys, time
work = sys.argv[1]
def timed(command, stdin=None, stdout=None):
    start = time.perf_counter()
    subprocess.run(command, stdin=stdin, stdout=stdout, check=True)
    return time.perf_counter() - start
t_pelmar = timed(["build/bin/pelmar-cli", "-q", "--settings", work + "/none.ini", "--ellipsoid", "WGS84",
                  "--set", "GeneralSettings.NachkommaGeog=9", "--set", "GeneralSettings.NachkommaKartesisch=6",
                  "geodesy", "inverse", work + "/pel.txt", work + "/pel-out.txt"])
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
with open(work + "/gs.txt") as fin, open(work + "/gs-out.txt", "w") as fout:
    t_gs = timed(["GeodSolve", "-i", "-p", "6"], stdin=fin, stdout=fout)
p = open(work + "/pel-out.txt").readlines()[2].split()
g = open(work + "/gs-out.txt").readline().split()
print("pairs:            %d" % sum(1 for _ in open(work + "/gs.txt")))
print("pelmar-cli:       %.3f s" % t_pelmar)
print("GeodSolve -i:     %.3f s" % t_gs)
print("ratio:            %.2f (GeodSolve time / pelmar-cli time)" % (t_gs / t_pelmar))
print("peak memory:      %.1f MiB" % (peak / 1024))
print("first pair:       pelmar S %s, GeodSolve S %s" % (p[7], g[2]))
PY
