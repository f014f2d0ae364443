#!/usr/bin/env bash
# The estimation's scaling targets as ratios, in one run:
#   L1 / least squares (the test after the L1 fit included): similarity and
#     Helmert on N identical points (default 1,000,000), ellipsoidal on N/10;
#   distribution on / off (least squares): the plane similarity of N/10
#     identical points, the Helmert of N/10 identical points and N points to
#     transform (on the ground, and filling a slab 1 km high: the costliest
#     case), the ellipsoidal of N/10 identical points;
#   one core / all cores: Helmert L1 on N points pinned to one core
#     (taskset -c 0) and on all.
# Points from bench/identical_points.py (5 mm noise). Each run once: the
# figures are wall-clock seconds of pelmar-cli with report and output files
# written and no plot.
# Usage: bench/estimation_ratios.sh [POINTS]   (after scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
points="${1:-1000000}"
tenth=$((points / 10))
cli="$PWD/build/bin/pelmar-cli"
[ -x "$cli" ] || { echo "build/bin/pelmar-cli is missing: run scripts/build.sh" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/plane" "$work/plane10" "$work/spatial" "$work/spatial10" "$work/slab10" "$work/ellipsoidal"
python3 bench/identical_points.py plane "$points" "$work/plane"
python3 bench/identical_points.py plane "$tenth" "$work/plane10"
python3 bench/identical_points.py spatial "$points" "$work/spatial"
python3 bench/identical_points.py ellipsoidal "$tenth" "$work/ellipsoidal"
# N points to transform, the first tenth of them identical.
cp "$work/spatial/s.txt" "$work/spatial10/s.txt"
head -n "$tenth" "$work/spatial/t.txt" > "$work/spatial10/t.txt"
python3 bench/identical_points.py slab "$points" "$work/slab10"
head -n "$tenth" "$work/slab10/t.txt" > "$work/slab10/t10.txt"
mv "$work/slab10/t10.txt" "$work/slab10/t.txt"

seconds() {  # seconds of "$@", its output thrown away
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  python3 -c "print('%.2f' % ($end - $start))"
}
estimate() {  # DIR MODEL METHOD-SETTING DISTRIBUTE [PREFIX...]
  local dir="$1" model="$2" method="$3" on="$4"
  shift 4
  local extra=()
  # The generator's translations as the pre-translation (the differential
  # model's departure then stays near 1 mm).
  [ "$model" = ellipsoidal ] && extra=(--source-ellipsoid Bessel --target-ellipsoid GRS80)
  seconds "$@" "$cli" -q --set "$method" --set Interpolation.InterpolationActive="$on" \
    --set HelmertTrafo3DBL.tx=582 --set HelmertTrafo3DBL.ty=105 --set HelmertTrafo3DBL.tz=414 estimate "$model" \
    --source "$dir/s.txt" --target "$dir/t.txt" --report "$work/r.aus" --output "$work/o.txt" --plot none "${extra[@]}"
}
ratio() { python3 -c "print('%.2f' % ($1 / $2))"; }
row() { printf '%-56s %8s s %8s s %7s   %s\n' "$@"; }

printf 'cores: %d, points: %d\n\n' "$(nproc)" "$points"
row "" "" "" "ratio" "target"
# L1 (Type=0) against least squares (Type=1): LABEL DIR MODEL SECTION
l1_against_ls() {
  local ls l1
  ls=$(estimate "$2" "$3" "$4.Type=1" 0)
  l1=$(estimate "$2" "$3" "$4.Type=0" 0)
  row "$1: L1, least squares" "$l1" "$ls" "$(ratio "$l1" "$ls")" "<= 3"
}
# Least squares with the distribution on against off: LABEL DIR MODEL SECTION
distribution_on_against_off() {
  local off on
  off=$(estimate "$2" "$3" "$4.Type=1" 0)
  on=$(estimate "$2" "$3" "$4.Type=1" 1)
  row "$1: distribution on, off" "$on" "$off" "$(ratio "$on" "$off")" "<= 2"
}
l1_against_ls "similarity $points" "$work/plane" similarity SoldnerSettings
l1_against_ls "Helmert $points" "$work/spatial" helmert HelmertTrafo3D
l1_against_ls "ellipsoidal $tenth" "$work/ellipsoidal" ellipsoidal HelmertTrafo3DBL
distribution_on_against_off "similarity $tenth" "$work/plane10" similarity SoldnerSettings
distribution_on_against_off "Helmert $tenth of $points" "$work/spatial10" helmert HelmertTrafo3D
distribution_on_against_off "Helmert $tenth of $points, slab" "$work/slab10" helmert HelmertTrafo3D
distribution_on_against_off "ellipsoidal $tenth" "$work/ellipsoidal" ellipsoidal HelmertTrafo3DBL
one=$(estimate "$work/spatial" helmert HelmertTrafo3D.Type=0 0 taskset -c 0)
all=$(estimate "$work/spatial" helmert HelmertTrafo3D.Type=0 0)
row "Helmert L1 $points: one core, all cores" "$one" "$all" "$(ratio "$one" "$all")" "-"
