#!/usr/bin/env bash
# Whole-file benchmark of every conversion family against its PROJ
# equivalent: for each row, N points (default 1,000,000) inside the
# projection's country are converted with `pelmar-cli convert` and with
# cs2cs on the same machine in the same run, same points, same digits, and
# the times, their ratio and the largest difference between the two output
# files are printed. The first row also gives pelmar-cli's peak memory for
# N and N/10 points (streamed files: the peak should not grow with the file).
# Rows "…-geo" run the inverse; "gk-geo dms" writes degrees, minutes and
# seconds with 5 decimals against `cs2cs -w5`.
# Usage: bench/convert_vs_cs2cs.sh [POINTS] [ROW-NAME…]   (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
points="${1:-1000000}"
shift || true
command -v cs2cs >/dev/null || { echo "cs2cs is missing: apt-get install proj-bin" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

python3 - "$points" "$work" "$@" <<'PY'
import math, random, re, resource, subprocess, sys, time

n, work, only = int(sys.argv[1]), sys.argv[2], set(sys.argv[3:])
cli = "build/bin/pelmar-cli"
bessel, grs80, wgs84 = "+ellps=bessel", "+ellps=GRS80", "+ellps=WGS84"
eov = ("+proj=somerc +lat_0=47.14439372222222 +lon_0=19.04857177777778 +k_0=0.99993 "
       "+x_0=650000 +y_0=200000 +ellps=GRS80")
swiss = "+proj=somerc +lat_0=46.95240555555556 +lon_0=7.439583333333333 +k_0=1 +ellps=bessel"
# name, code, pelmar settings, box (B from, B to, L from, L to), PROJ target,
# decimals written (geographic, metres)
rows = [
    ("geo-gk", "1000", ["--ellipsoid", "Bessel", "--set", "L0Settings.L0Auto=0", "--set", "L0Settings.L0=9"],
     (47.5, 54.5, 7.5, 10.5), "+proj=tmerc +lon_0=9 +k=1 +x_0=3500000 " + bessel),
    ("gk-geo", "2000", ["--ellipsoid", "Bessel", "--set", "L0Settings.L0Auto=0", "--set", "L0Settings.L0=9"],
     (47.5, 54.5, 7.5, 10.5), "+proj=tmerc +lon_0=9 +k=1 +x_0=3500000 " + bessel),
    ("gk-geo dms", "2000", ["--ellipsoid", "Bessel", "--set", "L0Settings.L0Auto=0", "--set", "L0Settings.L0=9",
                            "--set", "GeneralSettings.FormatGeog=1", "--set", "GeneralSettings.NachkommaGeog=5"],
     (47.5, 54.5, 7.5, 10.5), "+proj=tmerc +lon_0=9 +k=1 +x_0=3500000 " + bessel),
    ("geo-utm", "1001", ["--ellipsoid", "WGS84", "--set", "GeneralSettings.FormatUTM=1",
                         "--set", "L0Settings.L0Auto=0", "--set", "L0Settings.L0=9"],
     (47.5, 54.5, 6.5, 11.5), "+proj=utm +zone=32 " + wgs84),
    ("geo-lambert93", "1009", [], (43.0, 50.0, -4.0, 8.0),
     "+proj=lcc +lat_1=49 +lat_2=44 +lat_0=46.5 +lon_0=3 +x_0=700000 +y_0=6600000 " + grs80),
    ("geo-soldner", "1005", ["--ellipsoid", "Bessel", "--set", "SoldnerSettings.B0Grad=52",
                             "--set", "SoldnerSettings.L0Grad=13"],
     (51.5, 52.5, 12.5, 13.5), "+proj=cass +lat_0=52 +lon_0=13 " + bessel),
    ("geo-mercator", "1006", ["--ellipsoid", "WGS84", "--set", "MercatorSettings.L0=10"],
     (-60.0, 60.0, -20.0, 40.0), "+proj=merc +lon_0=10 " + wgs84),
    ("geo-xyz", "1007", ["--ellipsoid", "GRS80"], (-80.0, 80.0, -170.0, 170.0), "+proj=geocent " + grs80),
    ("xyz-geo", "2007", ["--ellipsoid", "GRS80"], (-80.0, 80.0, -170.0, 170.0), "+proj=geocent " + grs80),
    ("geo-eov", "1008", ["--ellipsoid", "GRS80"], (45.8, 48.5, 16.2, 22.8), eov),
    ("geo-gk-austria", "1010", ["--set", "L0AustriaSettings.L0AustriaAuto=0",
                                "--set", "L0AustriaSettings.L0Austria=13.333333333333334"],
     (46.4, 49.0, 12.0, 14.5), "+proj=tmerc +lon_0=13.333333333333334 +k=1 +x_0=450000 +y_0=-5000000 " + bessel),
    ("geo-lv03", "1011", [], (45.8, 47.8, 6.0, 10.5), swiss + " +x_0=600000 +y_0=200000"),
    ("geo-lv95", "1012", [], (45.8, 47.8, 6.0, 10.5), swiss + " +x_0=2600000 +y_0=1200000"),
]

def timed(command, stdin=None, stdout=None):
    start = time.perf_counter()
    subprocess.run(command, stdin=stdin, stdout=stdout, check=True)
    return time.perf_counter() - start

def numbers(line):
    """The numbers of a line; cs2cs's DMS (7d54'23.01765"E) read as degrees."""
    out = []
    for word in line.split():
        m = re.fullmatch(r"(\d+)d(\d+)'([\d.]+)\"([NSEW])", word)
        if m:
            v = int(m[1]) + int(m[2]) / 60 + float(m[3]) / 3600
            out.append(-v if m[4] in "SW" else v)
            continue
        try:
            out.append(float(word))
        except ValueError:
            pass
    return out

def pelmar_values(line, dms):
    f = line.split()[1:]
    if dms:
        b = float(f[0]) + float(f[1]) / 60 + float(f[2]) / 3600
        l = float(f[3]) + float(f[4]) / 60 + float(f[5]) / 3600
        return [b, l] + [float(x) for x in f[6:]]
    return [float(x) for x in f]

print("%-15s %9s %9s %7s  %s" % ("conversion", "pelmar s", "cs2cs s", "ratio", "largest difference"))
for name, code, settings, box, target in rows:
    if only and name not in only:
        continue
    inverse, dms = code.startswith("2"), name.endswith("dms")
    cartesian = "geocent" in target
    random.seed(1)
    with open(work + "/geo.txt", "w") as pel, open(work + "/lonlat.txt", "w") as cs:
        for i in range(n):
            b = box[0] + random.random() * (box[1] - box[0])
            l = box[2] + random.random() * (box[3] - box[2])
            h = random.random() * 1000.0
            pel.write("P%d %.9f %.9f %.3f\n" % (i, b, l, h) if cartesian else "P%d %.9f %.9f\n" % (i, b, l))
            cs.write("%.9f %.9f %.3f\n" % (l, b, h))
    geo = "+proj=longlat +ellps=" + target.split("+ellps=")[1].split()[0]
    if inverse:
        # The projected points come from PROJ; pelmar and cs2cs both take them back.
        with open(work + "/lonlat.txt") as fin, open(work + "/en.txt", "w") as fout:
            subprocess.run(["cs2cs", "-f", "%.4f"] + geo.split() + ["+to"] + target.split(), stdin=fin, stdout=fout,
                           check=True)
        with open(work + "/en.txt") as fin, open(work + "/geo.txt", "w") as pel:
            for i, line in enumerate(fin):
                v = line.split()
                pel.write("P%d %s\n" % (i, " ".join(v[:3] if cartesian else v[:2])))
        src, dst = work + "/en.txt", ["+to"] + geo.split()
        cs_args = (["-w5"] if dms else ["-f", "%.9f"]) + target.split() + dst
    else:
        src = work + "/lonlat.txt"
        cs_args = ["-f", "%.4f"] + geo.split() + ["+to"] + target.split()
    digits = ["--set", "GeneralSettings.NachkommaKartesisch=4"]
    if not dms:
        digits += ["--set", "GeneralSettings.NachkommaGeog=9"]
    command = [cli, "-q", "--settings", work + "/none.ini"] + settings + digits + ["convert", code]
    if name == "geo-gk":
        with open(work + "/geo.txt") as fin, open(work + "/small.txt", "w") as fout:
            for i, line in enumerate(fin):
                if i >= n // 10:
                    break
                fout.write(line)
        timed(command + [work + "/small.txt", work + "/small-out.txt"])
        peak_small = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    t_pelmar = timed(command + [work + "/geo.txt", work + "/out.txt"])
    if name == "geo-gk":
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    with open(src) as fin, open(work + "/cs2cs.txt", "w") as fout:
        t_cs2cs = timed(["cs2cs"] + cs_args, stdin=fin, stdout=fout)
    worst = 0.0
    with open(work + "/out.txt") as a, open(work + "/cs2cs.txt") as b:
        for i, (la, lb) in enumerate(zip(a, b)):
            if i >= 10000:
                break
            pa, pb = pelmar_values(la, dms), numbers(lb)
            if inverse:
                pb = [pb[1], pb[0]] + pb[2:]  # cs2cs writes longitude first
            for k in range(2):
                d = abs(pa[k] - pb[k])
                worst = max(worst, d * (111320.0 if inverse else 1.0))  # degrees as metres
    print("%-15s %9.3f %9.3f %7.2f  %.1e m" % (name, t_pelmar, t_cs2cs, t_cs2cs / t_pelmar, worst))
    if name == "geo-gk":
        print("%-15s peak memory %.1f MiB for a tenth of the points, %.1f MiB for all" %
              ("", peak_small / 1024, peak / 1024))
PY
