#!/usr/bin/env python3
"""Reference values of the conversion tests (pelmar-cli convert), from PROJ's
cct and GeographicLib's GeodesicProj and GeoConvert, written in the manner of
PROJ's .gie files (the format is described at the top of the output). Every
block comes twice: geographic coordinates as decimal degrees and as degrees,
minutes and seconds; the comments name the command that made the values.

    python3 tests/reference/make_conversion_references.py > tests/reference/conversions.gie
"""
import subprocess
from decimal import Decimal

BESSEL = (6377397.155, 6356078.962818)        # Ellip.db
BESSEL_FIXED = (6377397.15508, 6356078.9629)  # the Austrian and Swiss systems
GRS80 = (6378137.0, 6356752.314140)
GRS80_FIXED = (6378137.0, 6356752.3142)       # the Lambert presets
WGS84 = (6378137.0, 6356752.314245)
GRS67 = (6378160.0, 6356774.516091)
FERRO = 17.662783333


def dms(d, m, s):
    return d + m / 60.0 + s / 3600.0


def run(command, lines):
    text = subprocess.run(command, input="\n".join(lines) + "\n", capture_output=True, text=True, check=True).stdout
    return [l.split() for l in text.strip().splitlines()]


def ell(e):
    return ["+a=%.17g" % e[0], "+b=%.17g" % e[1]]


out = []


def dms_text(degrees):
    """d m s with 10 decimals, the sign on the first field ("-0 30 0" for
    -0.5), rounded before the split so that no field reaches 60."""
    negative = degrees < 0
    seconds = (Decimal(repr(abs(degrees))) * 3600).quantize(Decimal("1e-10"))
    d, rest = divmod(seconds, 3600)
    m, s = divmod(rest, 60)
    text = "%d %d %.10f" % (d, m, s)
    return ("-" + text) if negative else text


def values_text(code, args, values, side):
    """A row's values as the file of that side holds them."""
    geographic = (code < 2000) == (side == "in")
    zone = code % 1000 == 1 and "GeneralSettings.FormatUTM=0" in args and not geographic
    dms = "GeneralSettings.FormatGeog=1" in args
    if geographic:
        angles = [dms_text(v) if dms else ("%.12f" % v) for v in values[:2]]
        return " ".join(angles + ["%.6f" % v for v in values[2:]])
    if zone:
        return "%d %s %.10f %.10f" % (values[0], chr(int(values[1])), values[2], values[3])
    return " ".join(("%.12f" if side == "in" else "%.10f") % v for v in values)


def block(code, args, comment, rows, roundtrip=True):
    for form in ("0", "1"):
        a = args + ["--set", "GeneralSettings.FormatGeog=" + form]
        out.append("operation %d %s" % (code, " ".join(a)))
        for c in comment:
            out.append("# " + c)
        out.append("tolerance 0.1 mm")
        out.append("tolerance 1e-9 deg")
        for name, ins, outs in rows:
            out.append("accept %s %s" % (name, values_text(code, a, ins, "in")))
            out.append("expect %s" % values_text(code, a, outs, "out"))
        if roundtrip:
            out.append("roundtrip")
        out.append("")


def cct_pairs(definition, points, e, with_h=False):
    command = ["cct", "-d", "10"] + definition + ell(e)
    res = run(command, ["%.15f %.15f %s" % (p[1], p[0], ("%.6f" % p[2]) if with_h else "0") for p in points])
    return command, [[float(v) for v in r[:3]] for r in res]


def both(code_fwd, code_inv, args, definition, points, e):
    command, res = cct_pairs(definition, points, e)
    fwd = [("P%d" % i, p, r[:2]) for i, (p, r) in enumerate(zip(points, res))]
    inv = [("P%d" % i, r[:2], p) for i, (p, r) in enumerate(zip(points, res))]
    block(code_fwd, args, [" ".join(command)], fwd)
    block(code_inv, args, [" ".join(command) + " (inverted)"], inv)


germany = [(47.6, 7.9), (48.1, 9.2), (49.5, 10.4), (50.9, 11.6), (52.5, 13.4), (54.3, 14.6)]
# GK with the automatic meridian: one command per zone.
rows_f, rows_i, comments = [], [], []
for i, (b, l) in enumerate(germany):
    zone = round(l / 3.0)
    command, res = cct_pairs(["+proj=tmerc", "+lon_0=%d" % (3 * zone), "+k=1", "+x_0=%d" % (zone * 1000000 + 500000)],
                             [(b, l)], BESSEL)
    comments.append(" ".join(command))
    rows_f.append(("P%d" % i, (b, l), res[0][:2]))
    rows_i.append(("P%d" % i, res[0][:2], (b, l)))
block(1000, ["--ellipsoid", "Bessel"], comments, rows_f)
block(2000, ["--ellipsoid", "Bessel"], comments, rows_i)

# UTM, raw easting/northing and with zone and band, WGS84.
utm_points = [(48.1, 11.6), (-33.9, 18.4), (60.5, 4.5), (-0.5, -78.5), (35.7, 139.7)]
raw_f, raw_i, zone_f, zone_i, comments = [], [], [], [], []
for i, (b, l) in enumerate(utm_points):
    z = run(["GeoConvert", "-u", "-p", "5"], ["%.15f %.15f" % (b, l)])[0][0]
    band = run(["GeoConvert", "-m", "-p", "0"], ["%.15f %.15f" % (b, l)])[0][0][2]
    zone, south = int(z[:-1]), z[-1] == "s"
    command, res = cct_pairs(["+proj=utm", "+zone=%d" % zone] + (["+south"] if south else []), [(b, l)], WGS84)
    comments.append(" ".join(command) + "; zone and band: GeoConvert -u / -m")
    e, n = res[0][:2]
    raw_n = n - 10000000.0 if south else n
    raw_f.append(("P%d" % i, (b, l), (e, raw_n)))
    zone_f.append(("P%d" % i, (b, l), (zone, ord(band), e, n)))
    zone_i.append(("P%d" % i, (zone, ord(band), e, n), (b, l)))
# With the meridian following each point, raw UTM cannot come back.
block(1001, ["--ellipsoid", "WGS84", "--set", "GeneralSettings.FormatUTM=1"], comments, raw_f, roundtrip=False)
block(1001, ["--ellipsoid", "WGS84", "--set", "GeneralSettings.FormatUTM=0"], comments, zone_f)
block(2001, ["--ellipsoid", "WGS84", "--set", "GeneralSettings.FormatUTM=0"], comments, zone_i)
# The raw inverse uses the meridian of the settings: zone 32 (9°).
both(1001, 2001, ["--ellipsoid", "WGS84", "--set", "GeneralSettings.FormatUTM=1", "--set", "L0Settings.L0Auto=0",
                  "--set", "L0Settings.L0=9"],
     ["+proj=tmerc", "+lon_0=9", "+k=0.9996", "+x_0=500000"], germany, WGS84)

# Lambert, user-defined with two parallels 52°30' and 47°30', meridian 10°, GRS80.
lam = ["--ellipsoid", "GRS80", "--set", "LambertSettings.Version=1", "--set", "LambertSettings.BNordGrad=52",
       "--set", "LambertSettings.BNordMinuten=30", "--set", "LambertSettings.BSuedGrad=47", "--set",
       "LambertSettings.BSuedMinuten=30", "--set", "LambertSettings.L0Grad=10", "--set",
       "LambertSettings.FalseEast=400000", "--set", "LambertSettings.FalseNorth=100000"]
both(1002, 2002, lam, ["+proj=lcc", "+lat_1=52.5", "+lat_2=47.5", "+lat_0=0", "+lon_0=10", "+x_0=400000",
                       "+y_0=100000"], germany, GRS80)
# One parallel (Version 0): the northern fields are ignored.
lam1 = ["--ellipsoid", "GRS80", "--set", "LambertSettings.Version=0", "--set", "LambertSettings.BNordGrad=60",
        "--set", "LambertSettings.BSuedGrad=50", "--set", "LambertSettings.L0Grad=10", "--set",
        "LambertSettings.FalseEast=400000", "--set", "LambertSettings.FalseNorth=100000"]
both(1002, 2002, lam1, ["+proj=lcc", "+lat_1=50", "+lat_0=50", "+lon_0=10", "+k_0=1", "+x_0=400000",
                        "+y_0=100000"], germany, GRS80)
both(1003, 2003, ["--ellipsoid", "Bessel"], ["+proj=lcc", "+lat_1=%.17g" % dms(59, 20, 0), "+lat_2=58",
                                            "+lat_0=%.17g" % dms(57, 31, 3.19415), "+lon_0=24", "+x_0=500000",
                                            "+y_0=6375000"], [(58.4, 25.0), (59.3, 24.7), (57.9, 27.0)], GRS80_FIXED)
both(1004, 2004, ["--ellipsoid", "Bessel"],
     ["+proj=lcc", "+lat_1=%.17g" % dms(49, 50, 0), "+lat_2=%.17g" % dms(51, 10, 0),
      "+lat_0=%.17g" % dms(50, 47, 52.134), "+lon_0=%.17g" % dms(4, 21, 33.177), "+x_0=150328", "+y_0=166262"],
     [(50.85, 4.35), (51.2, 3.2), (49.6, 5.8)], GRS80_FIXED)
both(1009, 2009, ["--ellipsoid", "Bessel"], ["+proj=lcc", "+lat_1=49", "+lat_2=44", "+lat_0=46.5", "+lon_0=3",
                                            "+x_0=700000", "+y_0=6600000"],
     [(48.85, 2.35), (43.3, 5.4), (50.6, 3.06)], GRS80_FIXED)

# Soldner (GeodesicProj -c), origin 52°25'07.1338" 13°37'37.9332", false origin 40000/10000, Bessel.
b0, l0 = dms(52, 25, 7.1338), dms(13, 37, 37.9332)
berlin = [(52.52, 13.40), (52.40, 13.06), (52.30, 13.80)]
command = ["GeodesicProj", "-c", "%.17g" % b0, "%.17g" % l0, "-e", "%.17g" % BESSEL[0],
           "%.17g" % ((BESSEL[0] - BESSEL[1]) / BESSEL[0]), "-p", "10"]
res = run(command, ["%.15f %.15f" % p for p in berlin])
sold = ["--ellipsoid", "Bessel", "--set", "SoldnerSettings.B0Grad=52", "--set", "SoldnerSettings.B0Minuten=25",
        "--set", "SoldnerSettings.B0Sekunden=7.1338", "--set", "SoldnerSettings.L0Grad=13", "--set",
        "SoldnerSettings.L0Minuten=37", "--set", "SoldnerSettings.L0Sekunden=37.9332", "--set",
        "SoldnerSettings.FalseEast=40000", "--set", "SoldnerSettings.FalseNorth=10000"]
block(1005, sold, [" ".join(command) + "; E = 40000 + x, N = 10000 + y"],
      [("P%d" % i, p, (40000 + float(r[0]), 10000 + float(r[1]))) for i, (p, r) in enumerate(zip(berlin, res))])
block(2005, sold, [" ".join(command) + " (inverted)"],
      [("P%d" % i, (40000 + float(r[0]), 10000 + float(r[1])), p) for i, (p, r) in enumerate(zip(berlin, res))])
# Soldner Baden, longitudes from Ferro; with --greenwich from Greenwich.
b0, l0 = dms(49, 29, 11.0), dms(26, 7, 35.8)
baden = [(48.0, 7.85), (49.0, 8.4), (47.7, 9.2)]
command = ["GeodesicProj", "-c", "%.17g" % b0, "%.17g" % l0, "-e", "%.17g" % BESSEL[0],
           "%.17g" % ((BESSEL[0] - BESSEL[1]) / BESSEL[0]), "-p", "10"]
res = run(command, ["%.15f %.15f" % (b, l + FERRO) for b, l in baden])
block(1014, ["--ellipsoid", "Bessel"], [" ".join(command) + " (longitudes from Ferro)"],
      [("P%d" % i, (b, l + FERRO), (float(r[0]), float(r[1]))) for i, ((b, l), r) in enumerate(zip(baden, res))])
block(2014, ["--ellipsoid", "Bessel"], [" ".join(command) + " (inverted)"],
      [("P%d" % i, (float(r[0]), float(r[1])), (b, l + FERRO)) for i, ((b, l), r) in enumerate(zip(baden, res))])
block(1014, ["--ellipsoid", "Bessel", "--greenwich"], [" ".join(command) + " (Greenwich input)"],
      [("P%d" % i, (b, l), (float(r[0]), float(r[1]))) for i, ((b, l), r) in enumerate(zip(baden, res))])
block(2014, ["--ellipsoid", "Bessel", "--greenwich"], [" ".join(command) + " (Greenwich output)"],
      [("P%d" % i, (float(r[0]), float(r[1])), (b, l)) for i, ((b, l), r) in enumerate(zip(baden, res))])

both(1006, 2006, ["--ellipsoid", "WGS84", "--set", "MercatorSettings.L0=10"],
     ["+proj=merc", "+lon_0=10", "+k=1"], [(-60.0, -30.0), (0.0, 10.0), (47.0, 12.0), (75.0, 170.0)], WGS84)
both(1008, 2008, ["--ellipsoid", "GRS67"],
     ["+proj=somerc", "+lat_0=%.17g" % dms(47, 8, 39.8174), "+lon_0=%.17g" % dms(19, 2, 54.8584), "+k_0=0.99993",
      "+x_0=650000", "+y_0=200000"], [(47.5, 19.05), (46.3, 16.5), (48.2, 22.0)], GRS67)
for code, fe, fn in ((1011, 600000, 200000), (1012, 2600000, 1200000)):
    both(code, code + 1000, ["--ellipsoid", "GRS80"],
         ["+proj=somerc", "+lat_0=%.17g" % dms(46, 57, 8.66), "+lon_0=%.17g" % dms(7, 26, 22.5), "+k_0=1",
          "+x_0=%d" % fe, "+y_0=%d" % fn], [(46.95, 7.44), (47.37, 8.54), (46.0, 9.0)], BESSEL_FIXED)
# Austria: the nearest of M28/M31/M34.
austria = [(47.27, 11.39), (48.21, 16.37), (47.07, 15.44), (47.5, 9.75)]
rows_f, rows_i, comments = [], [], []
for i, (b, l) in enumerate(austria):
    k = min(range(3), key=lambda j: abs([10 + 1 / 3, 13 + 1 / 3, 16 + 1 / 3][j] - l))
    command, res = cct_pairs(["+proj=tmerc", "+lon_0=%.17g" % [10 + 1 / 3, 13 + 1 / 3, 16 + 1 / 3][k], "+k=1",
                              "+x_0=%d" % [150000, 450000, 750000][k], "+y_0=-5000000"], [(b, l)], BESSEL_FIXED)
    comments.append(" ".join(command))
    rows_f.append(("P%d" % i, (b, l), res[0][:2]))
    rows_i.append(("P%d" % i, res[0][:2], (b, l)))
block(1010, ["--ellipsoid", "WGS84"], comments, rows_f)
block(2010, ["--ellipsoid", "WGS84"], comments, rows_i)
# Cartesian, GRS80: rows B L h | X Y Z.
xyz = [(48.1, 11.6, 520.0), (-33.9, 18.4, 0.0), (89.0, 45.0, 100.0), (0.0, -170.0, -50.0)]
for fwd in (1007, 1013):
    command, res = cct_pairs(["+proj=cart"], xyz, GRS80, with_h=True)
    block(fwd, ["--ellipsoid", "GRS80"], [" ".join(command)],
          [("P%d" % i, p, r) for i, (p, r) in enumerate(zip(xyz, res))])
    block(fwd + 1000, ["--ellipsoid", "GRS80"], [" ".join(command) + " (inverted)"],
          [("P%d" % i, r, p) for i, (p, r) in enumerate(zip(xyz, res))])

print("""# Reference values of the conversion tests, made by tests/reference/make_conversion_references.py;
# do not edit. In the manner of PROJ's .gie files:
#   operation CODE ARGS...   a pelmar-cli convert run with these arguments (the
#                            runner adds 10 geographic and 6 metric decimals)
#   tolerance VALUE UNIT     mm or m for lengths, deg or arcsec for angles
#   accept LINE              a literal line of the input file (name first)
#   expect VALUES            the point's values as the output file writes them,
#                            or "left-out" (outside the domain) or "unreadable"
#   roundtrip                the output converted back by the inverse with the
#                            same arguments gives the accepted values
""")
print("\n".join(out))
