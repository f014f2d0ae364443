#!/usr/bin/env python3
"""Makes the geographic point files of the ellipsoidal estimation tests with PROJ.

Source points: 40 places in Germany, latitude, longitude and ellipsoidal
height on the Bessel ellipsoid (random, seeded). Targets: the same points
moved by the DHDN to ETRS89 datum shift (598.1 m, 73.7 m, 418.2 m, 0.202",
0.045", -2.455", 6.7 ppm, coordinate-frame convention) and expressed on GRS80,
by the pipeline

    cct -d 10 +proj=pipeline +step +proj=cart +ellps=bessel
        +step +proj=helmert +x=598.1 +y=73.7 +z=418.2 +rx=0.202 +ry=0.045
              +rz=-2.455 +s=6.7 +convention=coordinate_frame
        +step +inv +proj=cart +ellps=GRS80

The first 30 points are the identical points, the last 10 check points.
Files hold "name B L h" in decimal degrees. Run:

    python3 tests/reference/make_ellipsoidal_references.py tests/reference
"""
import random
import subprocess
import sys

out_dir = sys.argv[1] if len(sys.argv) > 1 else "."
random.seed(20261208)
places = [(6.0 + random.random() * 9.0, 47.5 + random.random() * 7.0, random.random() * 1500.0) for _ in range(40)]
pipeline = ["+proj=pipeline", "+step", "+proj=cart", "+ellps=bessel",
            "+step", "+proj=helmert", "+x=598.1", "+y=73.7", "+z=418.2", "+rx=0.202", "+ry=0.045", "+rz=-2.455",
            "+s=6.7", "+convention=coordinate_frame",
            "+step", "+inv", "+proj=cart", "+ellps=GRS80"]
text = subprocess.run(["cct", "-d", "10"] + pipeline, input="".join("%.10f %.10f %.4f\n" % p for p in places),
                      capture_output=True, text=True, check=True).stdout
target = [line.split()[:3] for line in text.strip().splitlines()]


def write(name, comment, rows, section=""):
    with open("%s/%s" % (out_dir, name), "w") as f:
        f.write("# Made by tests/reference/make_ellipsoidal_references.py:\n# %s\n%s" % (comment, section))
        for i, (lon, lat, h) in rows:
            f.write("P%d %s %s %s\n" % (i, lat, lon, h))


write("ellipsoidal-source.txt", "geographic points in Germany on the Bessel ellipsoid (B L h)",
      [(i, ("%.10f" % p[0], "%.10f" % p[1], "%.4f" % p[2])) for i, p in enumerate(places)])
command = "cct -d 10 " + " ".join(pipeline)
write("ellipsoidal-target.txt", command, [(i, target[i]) for i in range(30)], "/3D\n")
write("ellipsoidal-check.txt", command, [(i, target[i]) for i in range(30, 40)])
