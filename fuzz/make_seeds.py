#!/usr/bin/env python3
"""Writes the fuzzers' seed corpora (fuzz/corpus/<target>/): small valid
inputs of every reader, from which libFuzzer mutates.

    python3 fuzz/make_seeds.py
"""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def seed(target, name, content):
    d = os.path.join(here, "corpus", target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(content if isinstance(content, bytes) else content.encode("latin-1"))


seed("fuzz_point_files", "plane", "# plane\nP1 4468123.456 5333456.789\n1001 4468200.000 5333500.000 code\n")
seed("fuzz_point_files", "spatial", "A 3900000.1 700000.2 5000000.3\r\nB 3901000 700000 5000000\n")
seed("fuzz_point_files", "dms", "\xef\xbb\xbfS -0 30 0 -0 15 0 0\nN 48 7 30.5 9 0 0 100\n")
seed("fuzz_point_files", "target", "/3D\nA 48.1 9.2 100 0.01 0.01 0.02\n/2D\nB 48.2 9.3\n/1D\nC 101.5 0.03\n")
seed("fuzz_settings", "user", "[GeneralSettings]\nNachkommaGeog=6\nFormatGeog=1\nEditor=xdg-open\n"
     "[Interpolation]\ndsH=50000\n[LambertSettings]\nBNordGrad=52\nBNordMinuten=30\nVersion=1\n"
     "[HelmertTrafo3DBL]\ntx=-596.0\nEllipSrc=2\n")
seed("fuzz_settings", "languages", "[PelmarSettings]\nCurrentLanguage=DE\nNumLanguages=2\nLanguage1=EN\n"
     "Language1_Text=English\nLanguage2=DE\nLanguage2_Text=Deutsch\n")
seed("fuzz_language", "table", "# table\n101=Cannot open %s.\n102=%d {point|points} of %d\n103=%-8.2f|%+d|%05d\\n\n"
     "104=%.500e %99999999999s\n")
seed("fuzz_ellipsoid_db", "two", struct.pack("<i", 2) + b"\x06Bessel" + struct.pack("<dd", 6377397.155, 6356078.962818)
     + b"\x05GRS80" + struct.pack("<dd", 6378137.0, 6356752.314140))


def record(key, value):
    return key.encode().ljust(8, b" ") + value


def grid_binary():
    out = (record("NUM_OREC", struct.pack("<ii", 11, 0)) + record("NUM_SREC", struct.pack("<ii", 11, 0)) +
           record("NUM_FILE", struct.pack("<ii", 1, 0)) + record("GS_TYPE", b"SECONDS ") +
           record("VERSION", b"NTv2.0  ") + record("SYSTEM_F", b"FROM    ") + record("SYSTEM_T", b"TO      ") +
           record("MAJOR_F", struct.pack("<d", 6377397.155)) + record("MINOR_F", struct.pack("<d", 6356078.963)) +
           record("MAJOR_T", struct.pack("<d", 6378137.0)) + record("MINOR_T", struct.pack("<d", 6356752.314)))
    out += (record("SUB_NAME", b"ONE     ") + record("PARENT", b"NONE    ") + record("CREATED", b"01-01-26") +
            record("UPDATED", b"01-01-26") + record("S_LAT", struct.pack("<d", 180000.0)) +
            record("N_LAT", struct.pack("<d", 183600.0)) + record("E_LONG", struct.pack("<d", -39600.0)) +
            record("W_LONG", struct.pack("<d", -32400.0)) + record("LAT_INC", struct.pack("<d", 3600.0)) +
            record("LONG_INC", struct.pack("<d", 3600.0)) + record("GS_COUNT", struct.pack("<ii", 6, 0)))
    for i in range(6):
        out += struct.pack("<ffff", 0.1 * i, -0.2 * i, 0.01, 0.01)
    return out + record("END", b"\0" * 8)


seed("fuzz_ntv2", "binary", grid_binary())
seed("fuzz_ntv2", "ascii", "NUM_OREC 11\nNUM_SREC 11\nNUM_FILE 1\nGS_TYPE SECONDS\nVERSION NTv2.0\nSYSTEM_F FROM\n"
     "SYSTEM_T TO\nMAJOR_F 6377397.155\nMINOR_F 6356078.963\nMAJOR_T 6378137.0\nMINOR_T 6356752.314\n"
     "SUB_NAME ONE\nPARENT NONE\nCREATED 01-01-26\nUPDATED 01-01-26\nS_LAT 180000\nN_LAT 183600\n"
     "E_LONG -39600\nW_LONG -32400\nLAT_INC 3600\nLONG_INC 3600\nGS_COUNT 6\n" +
     "".join("%g %g 0.01 0.01\n" % (0.1 * i, -0.2 * i) for i in range(6)) + "END\n")
seed("fuzz_set_option", "decimals", "GeneralSettings.NachkommaGeog=6")
seed("fuzz_set_option", "dms", "LambertSettings.BNordMinuten= -59 ")
seed("fuzz_set_option", "real", "HelmertTrafo3DBL.tx=-596.0e0")
