#!/usr/bin/env python3
"""Makes the reference tables of the computation-library tests.

Every value comes from an independent tool: PROJ's cct and GeographicLib's
GeodesicProj, GeoConvert and GeodSolve (Debian proj-bin, geographiclib-tools).
Each table names the command that made it. Run from anywhere:

    python3 tests/reference/make_references.py > tests/reference/LibraryReferences.inc
"""
import subprocess
import sys

BESSEL = (6377397.155, 6356078.962818)
GRS80 = (6378137.0, 6356752.314140)
WGS84 = (6378137.0, 6356752.314245)
GRS67 = (6378160.0, 6356774.516091)


def dms(d, m, s):
    return d + m / 60.0 + s / 3600.0


def run(command, lines):
    text = subprocess.run(command, input="\n".join(lines) + "\n", capture_output=True, text=True,
                          check=True).stdout
    return [line.split() for line in text.strip().splitlines()]


def ellipsoid_args(ell):
    return ["+a=%.17g" % ell[0], "+b=%.17g" % ell[1]]


def flattening(ell):
    return (ell[0] - ell[1]) / ell[0]


def grid(lat0, lat1, lon0, lon1, n=4):
    points = []
    for i in range(n):
        for j in range(n):
            points.append((lat0 + (lat1 - lat0) * i / (n - 1), lon0 + (lon1 - lon0) * j / (n - 1)))
    return points


out = []


def emit(name, command, rows, columns):
    out.append("// " + " ".join(command))
    out.append("inline const ReferenceRow %s[] = {" % name)
    for row in rows:
        out.append("    {" + ", ".join("%.17g" % v for v in row) + "},")
    out.append("};")
    out.append("")
    del columns


def cct_table(name, definition, points, ell):
    """Forward projection of (lat, lon) points: rows B L E N."""
    command = ["cct", "-d", "10"] + definition + ellipsoid_args(ell)
    result = run(command, ["%.15f %.15f 0" % (lon, lat) for lat, lon in points])
    rows = [(lat, lon, float(r[0]), float(r[1])) for (lat, lon), r in zip(points, result)]
    emit(name, command, rows, "B L E N")


out.append("// Reference values for the computation-library tests, made by")
out.append("// tests/reference/make_references.py; do not edit. Rows are {in..., out...}.")
out.append("")

# Gauss–Krüger, Bessel, 3° zones over Germany: automatic meridian.
germany = grid(47.3, 55.0, 5.9, 15.0, 5)
for zone in (2, 3, 4, 5):
    pts = [(b, l) for b, l in germany if round(l / 3.0) == zone]
    cct_table("kGkZone%d" % zone,
              ["+proj=tmerc", "+lon_0=%d" % (3 * zone), "+k=1", "+x_0=%d" % (zone * 1000000 + 500000), "+y_0=0"],
              pts, BESSEL)
# Fixed meridian 9°, points of the neighbouring zones too.
cct_table("kGkFixed9", ["+proj=tmerc", "+lon_0=9", "+k=1", "+x_0=3500000", "+y_0=0"],
          grid(47.3, 55.0, 5.9, 12.0, 4), BESSEL)

# Austrian M28 / M31 / M34, Bessel.
austria = grid(46.4, 49.0, 9.5, 17.2, 6)
meridians = [dms(10, 20, 0), dms(13, 20, 0), dms(16, 20, 0)]
eastings = [150000, 450000, 750000]
for index, (lon0, fe) in enumerate(zip(meridians, eastings)):
    pts = [(b, l) for b, l in austria if min(range(3), key=lambda i: abs(meridians[i] - l)) == index]
    cct_table("kAustriaM%d" % (28 + 3 * index),
              ["+proj=tmerc", "+lon_0=%.17g" % lon0, "+k=1", "+x_0=%d" % fe, "+y_0=-5000000"], pts, BESSEL)

# UTM, WGS84: points around the world with their zones, both hemispheres,
# the Norway exception (32V) and Svalbard (33X).
utm_points = [(48.1, 11.6), (-33.9, 18.4), (40.4, -3.7), (-23.5, -46.6), (60.5, 4.5), (61.0, 2.5),
              (78.2, 15.6), (78.0, 8.0), (0.0, 0.5), (-0.0001, 20.0), (83.9, -30.0), (-79.9, 170.0),
              (35.7, 139.7), (64.1, -21.9), (-45.9, 170.5), (1.3, 103.8)]
zone_rows = []
for lat, lon in utm_points:
    zone_text = run(["GeoConvert", "-u", "-p", "5"], ["%.15f %.15f" % (lat, lon)])[0][0]
    band = run(["GeoConvert", "-m", "-p", "0"], ["%.15f %.15f" % (lat, lon)])[0][0][2]
    zone = int(zone_text[:-1])
    south = zone_text[-1] == "s"
    command = ["cct", "-d", "10", "+proj=utm", "+zone=%d" % zone] + (["+south"] if south else []) + \
        ellipsoid_args(WGS84)
    e, n = [float(v) for v in run(command, ["%.15f %.15f 0" % (lon, lat)])[0][:2]]
    raw_n = n - 10000000.0 if south else n
    zone_rows.append((lat, lon, e, n, zone, ord(band), raw_n))
out.append("// Zones and hemispheres: GeoConvert -u -p 5; band letters: GeoConvert -m -p 0;")
out.append("// eastings and northings: cct -d 10 +proj=utm +zone=Z [+south] " + " ".join(ellipsoid_args(WGS84)))
out.append("// Rows: B L E N zone band northing-without-false-northing.")
out.append("inline const ReferenceRow kUtmZones[] = {")
for row in zone_rows:
    out.append("    {" + ", ".join("%.17g" % v for v in row) + "},")
out.append("};")
out.append("")
cct_table("kUtmFixed15", ["+proj=tmerc", "+lon_0=15", "+k=0.9996", "+x_0=500000", "+y_0=0"],
          grid(-40.0, 70.0, 10.0, 20.0, 4), WGS84)

# Lambert, user-defined: one parallel (origin on it), two parallels (origin 0°).
cct_table("kLambertOne", ["+proj=lcc", "+lat_1=46.8", "+lat_0=46.8", "+lon_0=2.337229166666667", "+k_0=1",
                          "+x_0=600000", "+y_0=200000"], grid(42.5, 51.0, -4.5, 8.0, 4), GRS80)
cct_table("kLambertTwo", ["+proj=lcc", "+lat_1=52.5", "+lat_2=47.5", "+lat_0=0", "+lon_0=10",
                          "+x_0=400000", "+y_0=100000"], grid(45.0, 55.0, 5.0, 16.0, 4), BESSEL)
# The presets on GRS80.
cct_table("kLambertEstonia", ["+proj=lcc", "+lat_1=%.17g" % dms(59, 20, 0), "+lat_2=58",
                              "+lat_0=%.17g" % dms(57, 31, 3.19415), "+lon_0=24", "+x_0=500000",
                              "+y_0=6375000"], grid(57.5, 59.7, 21.7, 28.2, 4), GRS80)
cct_table("kLambertBelgium", ["+proj=lcc", "+lat_1=%.17g" % dms(49, 50, 0), "+lat_2=%.17g" % dms(51, 10, 0),
                              "+lat_0=%.17g" % dms(50, 47, 52.134), "+lon_0=%.17g" % dms(4, 21, 33.177),
                              "+x_0=150328", "+y_0=166262"], grid(49.5, 51.5, 2.5, 6.4, 4), GRS80)
cct_table("kLambertFrance", ["+proj=lcc", "+lat_1=49", "+lat_2=44", "+lat_0=46.5", "+lon_0=3",
                             "+x_0=700000", "+y_0=6600000"], grid(41.3, 51.1, -5.2, 9.6, 4), GRS80)

# Mercator, WGS84, meridian 10°.
cct_table("kMercator10", ["+proj=merc", "+lon_0=10", "+k=1", "+x_0=0", "+y_0=0"],
          grid(-80.0, 84.0, -170.0, 170.0, 5), WGS84)

# Cassini–Soldner (geodesic form): GeodesicProj -c, then the false origin.
def soldner_table(name, lat0, lon0, fe, fn, points, ell):
    command = ["GeodesicProj", "-c", "%.17g" % lat0, "%.17g" % lon0, "-e", "%.17g" % ell[0],
               "%.17g" % flattening(ell), "-p", "10"]
    result = run(command, ["%.15f %.15f" % (lat, lon) for lat, lon in points])
    rows = [(lat, lon, fe + float(r[0]), fn + float(r[1])) for (lat, lon), r in zip(points, result)]
    out.append("// " + " ".join(command) + "; E = %g + x, N = %g + y" % (fe, fn))
    out.append("inline const ReferenceRow %s[] = {" % name)
    for row in rows:
        out.append("    {" + ", ".join("%.17g" % v for v in row) + "},")
    out.append("};")
    out.append("")

# Berlin Soldner origin Müggelberg, on Bessel, with a false origin.
soldner_table("kSoldnerBerlin", dms(52, 25, 7.1338), dms(13, 37, 37.9332), 40000.0, 10000.0,
              grid(52.2, 52.8, 12.9, 14.0, 4), BESSEL)
# Baden: origin 49°29'11" with meridian 26°07'35.8" east of Ferro; longitudes from Ferro.
FERRO = 17.662783333
soldner_table("kSoldnerBaden", dms(49, 29, 11.0), dms(26, 7, 35.8), 0.0, 0.0,
              [(b, l + FERRO) for b, l in grid(47.5, 49.8, 7.5, 10.5, 4)], BESSEL)

# EOV on GRS67 and the Swiss projections on Bessel (PROJ's somerc).
cct_table("kEov", ["+proj=somerc", "+lat_0=%.17g" % dms(47, 8, 39.8174), "+lon_0=%.17g" % dms(19, 2, 54.8584),
                   "+k_0=0.99993", "+x_0=650000", "+y_0=200000"], grid(45.7, 48.6, 16.1, 22.9, 4), GRS67)
for name, fe, fn in (("kSwissLv03", 600000, 200000), ("kSwissLv95", 2600000, 1200000)):
    cct_table(name, ["+proj=somerc", "+lat_0=%.17g" % dms(46, 57, 8.66), "+lon_0=%.17g" % dms(7, 26, 22.5),
                     "+k_0=1", "+x_0=%d" % fe, "+y_0=%d" % fn], grid(45.8, 47.8, 5.9, 10.5, 4), BESSEL)

# Geocentric cartesian, GRS80: rows B L h X Y Z.
xyz_points = [(48.1, 11.6, 520.0), (-33.9, 18.4, 0.0), (90.0, 0.0, 0.0), (-90.0, 45.0, 100.0),
              (0.0, 0.0, 0.0), (0.0, 180.0, -50.0), (45.0, -120.0, 8848.0), (60.0, 25.0, 20200000.0),
              (-12.3456789, -77.0, -4000.0), (89.9999, 10.0, 1.0)]
command = ["cct", "-d", "10", "+proj=cart"] + ellipsoid_args(GRS80)
result = run(command, ["%.15f %.15f %.15f" % (lon, lat, h) for lat, lon, h in xyz_points])
out.append("// " + " ".join(command) + "; rows B L h X Y Z")
out.append("inline const ReferenceRow kCartesian[] = {")
for (lat, lon, h), r in zip(xyz_points, result):
    out.append("    {" + ", ".join("%.17g" % v for v in (lat, lon, h, float(r[0]), float(r[1]), float(r[2]))) + "},")
out.append("};")
out.append("")

# Geodesics: GeodSolve, series for WGS84 and Bessel, exact (-E) for f = 1/10.
def geodesic_tables(suffix, ell, exact):
    f = flattening(ell)
    base = ["GeodSolve"] + (["-E"] if exact else []) + ["-e", "%.17g" % ell[0], "%.17g" % f, "-p", "10"]
    inverse_pairs = [(52.5, 13.4, 48.1, 11.6), (40.6, -73.8, 51.5, -0.5), (-33.9, 151.2, 51.5, 0.0),
                     (0.0, 0.0, 0.5, 179.5), (0.0, 0.0, 0.0, 179.8), (-30.0, 0.0, 29.9, 179.9),
                     (0.0, 10.0, 0.0, 100.0), (89.0, 0.0, 89.0, 180.0), (90.0, 0.0, -45.0, 33.0),
                     (10.0, 20.0, 10.0, 20.0), (-89.99, -170.0, -89.99, 10.0), (1e-10, 0.0, -1e-10, 179.9999)]
    # GeodSolve reads an "e" as east: inputs go without exponents.
    result = run(base + ["-i"], ["%.15f %.15f %.15f %.15f" % p for p in inverse_pairs])
    out.append("// " + " ".join(base + ["-i"]) + "; rows B1 L1 B2 L2 A1 A2 S (azimuths as GeodSolve gives them)")
    out.append("inline const ReferenceRow kGeodesicInverse%s[] = {" % suffix)
    for p, r in zip(inverse_pairs, result):
        out.append("    {" + ", ".join("%.17g" % v for v in p + tuple(float(x) for x in r[:3])) + "},")
    out.append("};")
    out.append("")
    direct = [(52.5, 13.4, 30.0, 500000.0), (0.0, 0.0, 90.0, 10000000.0), (0.0, 0.0, 0.0, 20003931.0),
              (-45.0, 170.0, 225.0, 15000000.0), (89.9, 0.0, 180.0, 100000.0), (10.0, -60.0, 359.5, 1.0),
              (30.0, 30.0, 60.0, 19900000.0), (-90.0, 0.0, 45.0, 1000.0), (20.0, 20.0, 120.0, -50000.0)]
    result = run(base, ["%.15f %.15f %.15f %.15f" % p for p in direct])
    out.append("// " + " ".join(base) + "; rows B1 L1 A1 S B2 L2 A2")
    out.append("inline const ReferenceRow kGeodesicDirect%s[] = {" % suffix)
    for p, r in zip(direct, result):
        out.append("    {" + ", ".join("%.17g" % v for v in p + tuple(float(x) for x in r[:3])) + "},")
    out.append("};")
    out.append("")
    latitudes = [0.0, 1e-7, 12.5, 45.0, -45.0, 48.1234567, 80.0, -89.5, 90.0, -90.0]
    result = run(base + ["-i"], ["0 0 %.15f 0" % b for b in latitudes])
    out.append("// " + " ".join(base + ["-i"]) + " on 0 0 B 0; rows B G (signed like B)")
    out.append("inline const ReferenceRow kMeridianArc%s[] = {" % suffix)
    for b, r in zip(latitudes, result):
        g = float(r[2]) * (-1.0 if b < 0 else 1.0)
        out.append("    {%.17g, %.17g}," % (b, g))
    out.append("};")
    out.append("")

geodesic_tables("Wgs84", WGS84, False)
geodesic_tables("Bessel", BESSEL, False)
geodesic_tables("Flat", (6378137.0, 6378137.0 * 0.9), True)

sys.stdout.write("\n".join(out))
