#!/usr/bin/env python3
"""Makes the cartesian point files of the spatial Helmert tests with PROJ.

Source points: 40 places in Germany (geographic on Bessel, through
`cct +proj=cart +ellps=bessel`). Targets: the DHDN to ETRS89 datum shift
(598.1 m, 73.7 m, 418.2 m, 0.202", 0.045", -2.455", 6.7 ppm) applied by
`cct +proj=helmert +exact` in both rotation conventions. The first 30 points
are the identical points, the last 10 are check points. Run:

    python3 tests/reference/make_helmert_references.py tests/reference
"""
import random
import subprocess
import sys

out_dir = sys.argv[1] if len(sys.argv) > 1 else "."
random.seed(20261207)
places = [(6.0 + random.random() * 9.0, 47.5 + random.random() * 7.0, random.random() * 1500.0) for _ in range(40)]


def cct(args, lines):
    text = subprocess.run(["cct", "-d", "6"] + args, input="\n".join(lines) + "\n", capture_output=True, text=True,
                          check=True).stdout
    return [line.split()[:3] for line in text.strip().splitlines()]


cart = ["+proj=cart", "+ellps=bessel"]
source = cct(cart, ["%.10f %.10f %.4f" % p for p in places])
shift = ["+proj=helmert", "+exact", "+x=598.1", "+y=73.7", "+z=418.2", "+rx=0.202", "+ry=0.045", "+rz=-2.455",
         "+s=6.7"]


def write(name, command, rows, first, last):
    with open("%s/%s" % (out_dir, name), "w") as f:
        f.write("# Made by tests/reference/make_helmert_references.py:\n# %s\n" % " ".join(command))
        for i in range(first, last):
            f.write("P%d %s %s %s\n" % (i, *rows[i]))


write("helmert-source.txt", ["cct", "-d", "6"] + cart + ["(geographic points in Germany)"], source, 0, 40)
for convention in ("position_vector", "coordinate_frame"):
    command = shift + ["+convention=" + convention]
    target = cct(command, [" ".join(s) for s in source])
    short = "pv" if convention == "position_vector" else "cf"
    write("helmert-target-%s.txt" % short, ["cct", "-d", "6"] + command, target, 0, 30)
    write("helmert-check-%s.txt" % short, ["cct", "-d", "6"] + command, target, 30, 40)
