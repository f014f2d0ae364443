#!/usr/bin/env bash
# The batch jobs on one core and on all: each job runs on N points (default
# 1,000,000) pinned to one core (taskset -c 0) and with every core, the
# median of R runs each (default 3), the two alternating so that what
# others run on the machine weighs on both alike; the two outputs must be
# byte for byte the same. Prints the times and the ratio "one core / all cores" per job:
# convert (Soldner forward, Gauss–Krüger forward, EOV, Swiss LV95), NTv2
# (BETA2007 from proj-data, else a generated grid), the geodetic inverse
# problem and apply (a stored set of each type, imported from PROJ
# operations); then Soldner forward against PROJ's `proj +proj=cass` on the
# same points (all cores; proj runs on one).
# Usage: bench/batch_cores.sh [POINTS] [RUNS]   (after scripts/build.sh; needs proj-bin)
set -euo pipefail
cd "$(dirname "$0")/.."
points="${1:-1000000}"
runs="${2:-3}"
bin="$PWD/build/bin"
[ -x "$bin/pelmar-cli" ] || { echo "build/bin/pelmar-cli is missing: run scripts/build.sh" >&2; exit 1; }
command -v proj >/dev/null || { echo "proj is missing: apt-get install proj-bin" >&2; exit 1; }
command -v taskset >/dev/null || { echo "taskset is missing: apt-get install util-linux" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A program directory of its own: the stored sets go into its Transformation.db.
mkdir "$work/home"
for f in "$bin"/*; do
  case "$(basename "$f")" in Transformation.db*) ;; *) ln -s "$f" "$work/home/" ;; esac
done
cli=("$bin/pelmar-cli" --home "$work/home" --settings "$work/none.ini" -q)
grid=/usr/share/proj/BETA2007.gsb
[ -f "$grid" ] || grid="$work/grid.gsb"

python3 - "$points" "$work" "$grid" <<'PY'
import math, random, struct, sys
n, work, grid = int(sys.argv[1]), sys.argv[2], sys.argv[3]
random.seed(1)
def box(name, b0, b1, l0, l1, height=False, proj=None):
    with open(work + "/" + name, "w") as f, open(work + "/" + proj if proj else "/dev/null", "w") as p:
        for i in range(n):
            b, l = b0 + random.random() * (b1 - b0), l0 + random.random() * (l1 - l0)
            f.write("P%d %.9f %.9f %.3f\n" % (i, b, l, random.random() * 1000) if height else "P%d %.9f %.9f\n" % (i, b, l))
            if proj:
                p.write("%.9f %.9f\n" % (l, b))
box("soldner.txt", 51.5, 52.5, 12.5, 13.5, proj="soldner-proj.txt")
box("gk.txt", 47.5, 54.5, 7.5, 10.5)
box("eov.txt", 45.8, 48.5, 16.2, 22.8)
box("swiss.txt", 45.8, 47.8, 6.0, 10.5)
box("ntv2.txt", 47.3, 55.0, 5.9, 15.1)
box("blh.txt", 47.0, 55.0, 6.0, 15.0, height=True)
with open(work + "/inverse.txt", "w") as f:
    for i in range(n):
        f.write("P%d %.9f %.9f %.9f %.9f\n" % (i, 47 + random.random() * 8, 6 + random.random() * 9,
                                              47 + random.random() * 8, 6 + random.random() * 9))
with open(work + "/xyz.txt", "w") as f:
    for i in range(n):
        f.write("P%d %.4f %.4f %.4f\n" % (i, 3.9e6 + random.random() * 1e5, 0.9e6 + random.random() * 1e5,
                                          4.9e6 + random.random() * 1e5))
if grid == work + "/grid.gsb":
    # One sub-grid over Germany, 0.1° (360") apart, smooth shifts (seconds).
    def rec(key, value):
        if isinstance(value, int):
            return key.ljust(8).encode() + struct.pack("<i", value) + b"\0" * 4
        if isinstance(value, float):
            return key.ljust(8).encode() + struct.pack("<d", value)
        return key.ljust(8).encode() + value.ljust(8).encode()
    s, north, east, west, step = 47.0 * 3600, 55.5 * 3600, -5.5 * 3600, -15.5 * 3600, 360.0
    rows, cols = int((north - s) / step) + 1, int((east - west) / step) + 1
    out = [rec("NUM_OREC", 11), rec("NUM_SREC", 11), rec("NUM_FILE", 1), rec("GS_TYPE", "SECONDS"),
           rec("VERSION", "NTv2.0"), rec("SYSTEM_F", "DHDN"), rec("SYSTEM_T", "ETRS89"), rec("MAJOR_F", 6377397.155),
           rec("MINOR_F", 6356078.963), rec("MAJOR_T", 6378137.0), rec("MINOR_T", 6356752.314),
           rec("SUB_NAME", "DE"), rec("PARENT", "NONE"), rec("CREATED", "bench"), rec("UPDATED", "bench"),
           rec("S_LAT", s), rec("N_LAT", north), rec("E_LONG", east), rec("W_LONG", west), rec("LAT_INC", step),
           rec("LONG_INC", step), rec("GS_COUNT", rows * cols)]
    for r in range(rows):
        for c in range(cols):
            out.append(struct.pack("<4f", 0.1 * math.sin(r / 7.0), -4.0 + 0.2 * math.cos(c / 9.0), 0.0, 0.0))
    out.append(rec("END", 0.0))
    open(grid, "wb").write(b"".join(out))
PY

"${cli[@]}" sets import-proj EXACT '+proj=helmert +x=10 +y=-20 +z=30 +rx=1 +ry=2 +rz=3 +s=5 +convention=coordinate_frame +exact' 2>/dev/null
"${cli[@]}" sets import-proj LINEAR '+proj=helmert +x=10 +y=-20 +z=30 +rx=1 +ry=2 +rz=3 +s=5 +convention=coordinate_frame' 2>/dev/null
"${cli[@]}" sets import-proj ELLIPSOIDAL '+proj=pipeline +step +proj=cart +ellps=bessel +step +proj=helmert +x=598.1 +y=73.7 +z=418.2 +rx=0.202 +ry=0.045 +rz=-2.455 +s=6.7 +convention=position_vector +step +inv +proj=cart +ellps=GRS80' 2>/dev/null

# The wall time of one run of COMMAND..., in seconds.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  python3 -c "print($end - $start)"
}
median() { printf '%s\n' "$@" | sort -g | sed -n "$(( ($# + 1) / 2 ))p"; }

printf 'points: %d, cores: %d, median of %d runs\n' "$points" "$(nproc)" "$runs"
printf '%-22s %10s %10s %8s\n' "job" "one core" "all cores" "ratio"
job() {  # NAME ARGS... (OUT stands for the output file)
  local name="$1"
  shift
  local one=("${@//OUT/$work/one.txt}") all=("${@//OUT/$work/all.txt}")
  local t1=() ta=()
  # Alternated, so that the load of others on the machine falls on both alike.
  for _ in $(seq "$runs"); do
    t1+=("$(seconds taskset -c 0 "${cli[@]}" "${one[@]}")")
    ta+=("$(seconds "${cli[@]}" "${all[@]}")")
  done
  cmp -s "$work/one.txt" "$work/all.txt" || { echo "$name: the outputs on one and on all cores differ" >&2; exit 1; }
  [ -s "$work/all.txt" ] || { echo "$name: no output" >&2; exit 1; }
  python3 -c "print('%-22s %9.2fs %9.2fs %8.2f' % ('$name', $(median "${t1[@]}"), $(median "${ta[@]}"),
                    $(median "${t1[@]}") / $(median "${ta[@]}")))"
}
soldner=(--ellipsoid Bessel --set SoldnerSettings.B0Grad=52 --set SoldnerSettings.L0Grad=13)
job "convert Soldner" "${soldner[@]}" convert geo-soldner "$work/soldner.txt" OUT
job "convert Gauss-Krüger" --ellipsoid Bessel --set L0Settings.L0Auto=0 --set L0Settings.L0=9 \
  convert geo-gk "$work/gk.txt" OUT
job "convert EOV" --ellipsoid GRS80 convert geo-eov "$work/eov.txt" OUT
job "convert Swiss LV95" convert geo-lv95 "$work/swiss.txt" OUT
job "ntv2" ntv2 "$grid" "$work/ntv2.txt" OUT
job "geodesy inverse" --ellipsoid Bessel geodesy inverse "$work/inverse.txt" OUT
job "apply type 0" --set Interpolation.InterpolationActive=0 apply EXACT "$work/xyz.txt" OUT
job "apply type 1" --set Interpolation.InterpolationActive=0 apply LINEAR "$work/xyz.txt" OUT
job "apply type 2" --set Interpolation.InterpolationActive=0 apply ELLIPSOIDAL "$work/blh.txt" OUT

# Soldner forward against proj: the same points, the same decimals.
tp=() tq=()
for _ in $(seq "$runs"); do
  tp+=("$(seconds "${cli[@]}" "${soldner[@]}" convert geo-soldner "$work/soldner.txt" "$work/all.txt")")
  tq+=("$(seconds sh -c "proj +proj=cass +lat_0=52 +lon_0=13 +ellps=bessel -f %.3f < '$work/soldner-proj.txt' > '$work/proj.txt'")")
done
pelmar=$(median "${tp[@]}")
proj=$(median "${tq[@]}")
python3 - "$work" "$pelmar" "$proj" <<'PY'
import sys
work, pelmar, proj = sys.argv[1], float(sys.argv[2]), float(sys.argv[3])
worst = 0.0
with open(work + "/all.txt") as a, open(work + "/proj.txt") as b:
    for i, (la, lb) in enumerate(zip(a, b)):
        if i >= 10000:
            break
        pa, pb = [float(x) for x in la.split()[1:3]], [float(x) for x in lb.split()[:2]]
        worst = max(worst, abs(pa[0] - pb[0]), abs(pa[1] - pb[1]))
print("Soldner forward: pelmar %.2fs, proj %.2fs, proj / pelmar %.2f (largest difference %.3f m: proj's series)"
      % (pelmar, proj, proj / pelmar, worst))
PY
