#!/usr/bin/env bash
# Whole-file benchmark: shifts N points (default 1,000,000) with the BETA2007
# grid, by `pelmar-cli ntv2` on the binary grid and on the same grid in the
# ASCII form, and by PROJ's `cct +proj=hgridshift` on the same machine, same
# points, same digits; prints the times, the ratios and pelmar-cli's peak
# memory for N and N/10 points (the file is streamed: the peak stays flat).
# Usage: bench/ntv2_vs_cct.sh [POINTS]   (after scripts/build.sh; needs proj-bin, proj-data)
set -euo pipefail
cd "$(dirname "$0")/.."
points="${1:-1000000}"
grid=/usr/share/proj/BETA2007.gsb
command -v cct >/dev/null || { echo "cct is missing: apt-get install proj-bin" >&2; exit 1; }
[ -f "$grid" ] || { echo "$grid is missing: apt-get install proj-data" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$points" "$work" "$grid" <<'PY'
import random, struct, sys
n, work, grid = int(sys.argv[1]), sys.argv[2], sys.argv[3]
random.seed(1)
with open(work + "/geo.txt", "w") as pel, open(work + "/cct.txt", "w") as cct, open(work + "/geo-small.txt", "w") as small:
    for i in range(n):
        b, l = 47.2 + random.random() * 7.6, 6.0 + random.random() * 9.2
        pel.write("P%d %.10f %.10f\n" % (i, b, l))
        cct.write("%.10f %.10f 0 0\n" % (l, b))
        if i < n // 10:
            small.write("P%d %.10f %.10f\n" % (i, b, l))
# The grid in the ASCII form (float32 values print exactly with 9 digits).
data = open(grid, "rb").read()
with open(work + "/grid.txt", "w") as out:
    for r in range(11):
        key = data[r * 16:r * 16 + 8].decode().strip()
        raw = data[r * 16 + 8:r * 16 + 16]
        value = struct.unpack("<i", raw[:4])[0] if r < 3 else (struct.unpack("<d", raw)[0] if r >= 7 else raw.decode().strip())
        out.write("%s %s\n" % (key, value))
    for r in range(11, 22):
        key = data[r * 16:r * 16 + 8].decode().strip()
        raw = data[r * 16 + 8:r * 16 + 16]
        value = raw.decode().strip() if r < 15 else (struct.unpack("<i", raw[:4])[0] if r == 21 else repr(struct.unpack("<d", raw)[0]))
        out.write("%s %s\n" % (key, value))
    count = struct.unpack("<i", data[21 * 16 + 8:21 * 16 + 12])[0]
    for k in range(count):
        v = struct.unpack("<4f", data[(22 + k) * 16:(23 + k) * 16])
        out.write("%.9g %.9g %.9g %.9g\n" % v)
PY

python3 - "$work" "$grid" <<'PY'
import resource, subprocess, sys, time
work, grid = sys.argv[1], sys.argv[2]
def timed(command, stdin=None, stdout=None):
    start = time.perf_counter()
    subprocess.run(command, stdin=stdin, stdout=stdout, check=True)
    return time.perf_counter() - start
pelmar = ["build/bin/pelmar-cli", "-q", "--settings", work + "/none.ini", "ntv2"]
timed(pelmar + [grid, work + "/geo-small.txt", work + "/small-out.txt"])
peak_small = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
t_binary = timed(pelmar + [grid, work + "/geo.txt", work + "/out.txt"])
t_ascii = timed(pelmar + [work + "/grid.txt", work + "/geo.txt", work + "/out-ascii.txt"])
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
with open(work + "/cct.txt") as fin, open(work + "/cct-out.txt", "w") as fout:
    t_cct = timed(["cct", "-d", "10", "+proj=hgridshift", "+grids=" + grid], stdin=fin, stdout=fout)
p = open(work + "/out.txt").readline().split()
c = open(work + "/cct-out.txt").readline().split()
print("points:              %d" % sum(1 for _ in open(work + "/geo.txt")))
print("pelmar-cli (binary): %.3f s   ratio %.2f" % (t_binary, t_cct / t_binary))
print("pelmar-cli (ASCII):  %.3f s   ratio %.2f" % (t_ascii, t_cct / t_ascii))
print("cct:                 %.3f s   (ratio = cct time / pelmar-cli time)" % t_cct)
print("peak memory:         %.1f MiB for a tenth of the points, %.1f MiB for all" % (peak_small / 1024, peak / 1024))
print("first point:         pelmar %s %s, cct %s %s" % (p[1], p[2], c[1], c[0]))
PY
