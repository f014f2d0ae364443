#!/usr/bin/env python3
"""Makes the reference shifts of the NTv2 tests with PROJ.

For each binary grid of the Debian package proj-data (BETA2007, ntf_r93,
nzgd2kgrid0005) the points are: 300 inside the first sub-grid, its four
corners and some other nodes, points on each of its four edges, and points
outside. Forward and inverse shifts come from

    cct -d 12 +proj=hgridshift +grids=GRID.gsb        (and cct -I ...)

Lines: "name B L Bforward Lforward Binverse Linverse" in decimal degrees,
"*" where PROJ finds the point outside the grid. Run:

    python3 tests/reference/make_ntv2_references.py tests/reference
"""
import random
import struct
import subprocess
import sys

out_dir = sys.argv[1] if len(sys.argv) > 1 else "."
random.seed(20261208)


def first_subgrid(path):
    data = open(path, "rb").read()
    rec = {}
    for i in range(11, 22):
        key = data[i * 16:i * 16 + 8].decode().strip()
        value = data[i * 16 + 8:i * 16 + 16]
        rec[key] = value
    d = {k: struct.unpack("<d", rec[k])[0] for k in ("S_LAT", "N_LAT", "E_LONG", "W_LONG", "LAT_INC", "LONG_INC")}
    return d


def cct(args, points):
    lines = "".join("%.12f %.12f 0 0\n" % (lon, lat) for lat, lon in points)
    text = subprocess.run(["cct", "-d", "12"] + args, input=lines, capture_output=True, text=True).stdout
    # A point PROJ cannot shift gives "# Record ..." and a line in parentheses.
    result = []
    for line in text.splitlines():
        if line.startswith("#"):
            result.append(None)
        elif not line.strip().startswith("("):
            fields = line.split()
            result.append((float(fields[1]), float(fields[0])))
    return result


for grid in ("BETA2007", "ntf_r93", "nzgd2kgrid0005"):
    g = first_subgrid("/usr/share/proj/%s.gsb" % grid)
    s, n, e, w = g["S_LAT"] / 3600, g["N_LAT"] / 3600, -g["E_LONG"] / 3600, -g["W_LONG"] / 3600
    dlat, dlon = g["LAT_INC"] / 3600, g["LONG_INC"] / 3600
    points = []
    for _ in range(300):
        points.append((s + (n - s) * random.random(), w + (e - w) * random.random()))
    points += [(s, e), (s, w), (n, e), (n, w)]  # corners
    rows, cols = round((n - s) / dlat), round((e - w) / dlon)
    for _ in range(10):  # nodes
        points.append((s + dlat * random.randint(0, rows), w + dlon * random.randint(0, cols)))
    for _ in range(5):  # edges
        points.append((s, w + (e - w) * random.random()))
        points.append((n, w + (e - w) * random.random()))
        points.append((s + (n - s) * random.random(), e))
        points.append((s + (n - s) * random.random(), w))
    points += [(s - 0.5, e), (n + 0.5, w), (s + 0.1, e + 0.5), (s + 0.1, w - 0.5), (90, 0)]  # outside
    args = ["+proj=hgridshift", "+grids=%s.gsb" % grid]
    fwd = cct(args, points)
    inv = cct(["-I"] + args, points)
    assert len(fwd) == len(points) and len(inv) == len(points), grid
    with open("%s/ntv2-%s.txt" % (out_dir, grid), "w") as f:
        f.write("# Made by tests/reference/make_ntv2_references.py with cct -d 12 %s (and -I)\n" % " ".join(args))
        for i, (lat, lon) in enumerate(points):
            a = "%.12f %.12f" % fwd[i] if fwd[i] else "* *"
            b = "%.12f %.12f" % inv[i] if inv[i] else "* *"
            f.write("Q%d %.12f %.12f %s %s\n" % (i, lat, lon, a, b))
