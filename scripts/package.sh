#!/usr/bin/env bash
# Builds the Debian package (build/pelmar_<version>_<arch>.deb) and checks
# it as an installed copy: unpacked with dpkg-deb -x, the packaged
# pelmar-cli converts and estimates, and the desktop entry's command starts
# the desktop program (offscreen) from the package's read-only program
# directory, with the user's files in a folder of their own.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh
cmake --build build --target package
deb="$(ls -t build/pelmar_*.deb | head -1)"
echo "Package: $deb"
# CPack adds ldconfig calls for any shared object below /usr/lib; the
# computation libraries are private to the program (dlopen from
# /usr/lib/pelmar), so the package carries no maintainer scripts.
# (The listing is read whole first: grep -q closing the pipe early would
# fail the pipeline under pipefail and keep the scripts.)
control="$(dpkg-deb -I "$deb")"
if grep -qE ' (postinst|postrm) ' <<< "$control"; then
  unpacked="$(mktemp -d)"
  dpkg-deb -R "$deb" "$unpacked/pkg"
  rm -f "$unpacked/pkg/DEBIAN/postinst" "$unpacked/pkg/DEBIAN/postrm"
  dpkg-deb --root-owner-group --build "$unpacked/pkg" "$deb" >/dev/null
  rm -rf "$unpacked"
fi
# Debian's own checks: no errors and no warnings (lintian's own failure,
# an unreadable package say, fails too).
command -v lintian >/dev/null 2>&1 || { echo "lintian is missing: apt-get install lintian" >&2; exit 1; }
if ! lintian_out="$(lintian --fail-on error,warning --tag-display-limit 0 "$deb" 2>&1)"; then
  echo "$lintian_out" >&2
  echo "lintian reports errors or warnings, or could not check the package" >&2
  exit 1
fi
echo "$lintian_out" | grep -v 'running with root privileges' || true
echo "lintian: no errors, no warnings"
dpkg-deb -f "$deb" Package Version Architecture Depends
dpkg-deb -c "$deb"

root="$(mktemp -d)"
trap 'chmod -R u+w "$root"; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root/pkg"
chmod -R a-w "$root/pkg/usr/lib/pelmar"   # as installed: not the user's to write
export XDG_DATA_HOME="$root/data" HOME="$root/home"
mkdir -p "$HOME"
cli="$root/pkg/usr/bin/pelmar-cli"
"$cli" --version
for file in Ellip.db PelmarGeneral.ini LangEN.lng LangDE.lng PelmarEN.pdf PelmarDE.pdf; do
  test -s "$root/pkg/usr/lib/pelmar/$file" || { echo "missing in the package: $file" >&2; exit 1; }
done
man -l "$root/pkg/usr/share/man/man1/pelmar-cli.1" >/dev/null 2>&1 || true

work="$root/work"
mkdir -p "$work"
printf 'TP1  52.2103000  10.5995000\nTP2  52.3411000  10.4127000\n' > "$work/geo.txt"
"$cli" convert geo-gk "$work/geo.txt" "$work/gk.txt"
grep -q 'TP2     3596268.053     5801640.353' "$work/gk.txt" || { cat "$work/gk.txt"; echo "conversion gave other numbers" >&2; exit 1; }

cat > "$work/source.txt" <<'POINTS'
101       3580112.431    5810234.118
102       3582455.902    5811876.340
103       3584120.775    5809903.261
104       3581530.084    5807815.993
105       3583377.610    5808512.447
106       3579850.219    5812104.882
POINTS
cat > "$work/target.txt" <<'POINTS'
101       3578899.363    5812665.150
102       3581242.857    5814307.398
103       3582907.755    5812334.301
104       3580317.048    5810247.000
105       3582164.636    5810943.451
106       3578637.143    5814535.934
POINTS
"$cli" --set SoldnerSettings.Type=1 estimate similarity --source "$work/source.txt" --target "$work/target.txt" \
  --report "$work/run.aus" --output "$work/out.txt" --summary "$work/run.json"
test -s "$work/run.aus" && test -s "$work/run.svg" && test -s "$work/out.txt"
grep -q '"identical_points": *6' "$work/run.json" || { cat "$work/run.json"; exit 1; }
test -d "$XDG_DATA_HOME/pelmar" || { echo "the user's folder was not made" >&2; exit 1; }

# The desktop entry's command, as a menu would start it.
exec_line="$(sed -n 's/^Exec=//p' "$root/pkg/usr/share/applications/pelmar.desktop")"
PATH="$root/pkg/usr/bin:$PATH" QT_QPA_PLATFORM=offscreen PELMAR_BATCH_DIALOGS=1 \
  $exec_line --screenshots "$root/shots" 2>/dev/null
test -s "$root/shots/tab2.png"
test -d "$XDG_DATA_HOME/pelmar/config"
echo "The package runs: conversion, estimation and the desktop program from its entry."
