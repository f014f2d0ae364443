#!/usr/bin/env python3
"""Source and target files of N identical points for the estimation benches.

  identical_points.py plane|spatial|slab|ellipsoidal N DIR

writes DIR/s.txt and DIR/t.txt, the same names in the same order.
plane: "name Y X" Gauss-Krueger-like coordinates in a 20 km square, the
target a similarity (scale 1.00001, rotation 0.001 deg, shift 582 m, 105 m)
of the source plus 5 mm noise.
ellipsoidal: "name B L h", degrees on Bessel (source) and GRS80 (target, in
a /3D section), over 47-55 N 6-15 E; the target the Helmert below applied to
the source's earth-centred position plus 5 mm noise in each coordinate.
spatial: "name X Y Z" earth-centred points on the ground of a 20 km patch
near 48 N 11 E: a terrain of hills between about 50 and 950 m (waves of
1.8 to 6 km, slopes up to 40 degrees) and 2 m of roughness; the target a
7-parameter Helmert (shift 582, 105, 414 m; rotations 1.04, 0.35, -3.08 arc
seconds; scale +8.3 ppm) of the source plus 5 mm noise.
slab: the same with each point's height drawn anew from 0 to 1000 m, so
that the points fill a slab 1 km high instead of lying on a surface (the
residual distribution's costliest case).
Only the standard library: the benches run on a bare machine.
"""
import math
import random
import sys


def main():
    kind, n, work = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    random.seed(3)
    g = random.gauss
    with open(work + "/s.txt", "w") as s, open(work + "/t.txt", "w") as t:
        if kind == "plane":
            a, m = math.radians(0.001), 1.00001
            ca, sa = m * math.cos(a), m * math.sin(a)
            for i in range(n):
                y, x = 3500000 + random.uniform(0, 20000), 5400000 + random.uniform(0, 20000)
                s.write("P%d %.4f %.4f\n" % (i, y, x))
                t.write("P%d %.4f %.4f\n" % (i, 582 + ca * y - sa * x + g(0, 0.005),
                                             105 + sa * y + ca * x + g(0, 0.005)))
        elif kind in ("spatial", "slab"):
            arcsec = math.pi / 180 / 3600
            rx, ry, rz, m = 1.04 * arcsec, 0.35 * arcsec, -3.08 * arcsec, 1 + 8.3e-6
            lat0, lon0, radius = math.radians(48), math.radians(11), 6371000.0
            for i in range(n):
                lat = lat0 + random.uniform(0, 20000) / radius
                lon = lon0 + random.uniform(0, 20000) / (radius * math.cos(lat0))
                if kind == "slab":
                    r = radius + random.uniform(0, 1000)
                else:
                    e, n_ = (lon - lon0) * radius * math.cos(lat0), (lat - lat0) * radius
                    r = radius + 500 + 300 * math.sin(e / 955) * math.cos(n_ / 716) \
                        + 150 * math.sin((e + n_) / 398) + random.uniform(-2, 2)
                x = r * math.cos(lat) * math.cos(lon)
                y = r * math.cos(lat) * math.sin(lon)
                z = r * math.sin(lat)
                s.write("P%d %.4f %.4f %.4f\n" % (i, x, y, z))
                # The small-angle rotation matrix of the coordinate-frame convention.
                tx = 582 + m * (x + rz * y - ry * z) + g(0, 0.005)
                ty = 105 + m * (-rz * x + y + rx * z) + g(0, 0.005)
                tz = 414 + m * (ry * x - rx * y + z) + g(0, 0.005)
                t.write("P%d %.4f %.4f %.4f\n" % (i, tx, ty, tz))
        elif kind == "ellipsoidal":
            arcsec = math.pi / 180 / 3600
            rx, ry, rz, m = 1.04 * arcsec, 0.35 * arcsec, -3.08 * arcsec, 1 + 8.3e-6
            bessel, grs80 = (6377397.155, 6356078.962818), (6378137.0, 6356752.314140356)
            t.write("/3D\n")
            for i in range(n):
                b, l, h = 47 + 8 * random.random(), 6 + 9 * random.random(), 100 + 800 * random.random()
                x, y, z = cartesian(bessel, b, l, h)
                tx = 582 + m * (x + rz * y - ry * z) + g(0, 0.005)
                ty = 105 + m * (-rz * x + y + rx * z) + g(0, 0.005)
                tz = 414 + m * (ry * x - rx * y + z) + g(0, 0.005)
                s.write("P%d %.10f %.10f %.4f\n" % (i, b, l, h))
                t.write("P%d %.10f %.10f %.4f\n" % ((i,) + geographic(grs80, tx, ty, tz)))
        else:
            sys.exit("identical_points.py: plane, spatial, slab or ellipsoidal, not " + kind)


def cartesian(ellipsoid, b, l, h):
    a, c = ellipsoid
    e2 = 1 - (c * c) / (a * a)
    b, l = math.radians(b), math.radians(l)
    n = a / math.sqrt(1 - e2 * math.sin(b) ** 2)
    return ((n + h) * math.cos(b) * math.cos(l), (n + h) * math.cos(b) * math.sin(l),
            (n * (1 - e2) + h) * math.sin(b))


def geographic(ellipsoid, x, y, z):
    """Latitude and longitude (degrees) and height by fixed-point iteration (to 1e-12 rad)."""
    a, c = ellipsoid
    e2 = 1 - (c * c) / (a * a)
    p = math.hypot(x, y)
    b = math.atan2(z, p * (1 - e2))
    for _ in range(10):
        n = a / math.sqrt(1 - e2 * math.sin(b) ** 2)
        h = p / math.cos(b) - n
        b = math.atan2(z, p * (1 - e2 * n / (n + h)))
    n = a / math.sqrt(1 - e2 * math.sin(b) ** 2)
    return math.degrees(b), math.degrees(math.atan2(y, x)), p / math.cos(b) - n


if __name__ == "__main__":
    main()
