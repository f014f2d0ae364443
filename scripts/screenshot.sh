#!/usr/bin/env bash
# Renders every tab and dialog of the desktop program (with the result box,
# the built-in viewer and both progress windows with Cancel), in English and
# German, into PNG files: scripts/screenshot.sh OUTPUT_DIR  ->
# OUTPUT_DIR/{en,de}/{tab<N>,dialog-<name>}.png, the residual plots of the
# worked examples (plot-*.png) and the first pages of the manual
# (manual-<N>.png, with pdftoppm).
# Uses the build in build/ (run scripts/build.sh first). Message boxes go to
# stderr so that nothing waits for a click.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:?usage: scripts/screenshot.sh OUTPUT_DIR}"
bin="$PWD/build/bin"
[ -x "$bin/pelmar" ] || { echo "build/bin/pelmar is missing: run scripts/build.sh" >&2; exit 1; }
mkdir -p "$out"
out="$(cd "$out" && pwd)"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

for code in EN DE; do
  home="$work/$code"
  mkdir -p "$home"
  # A program directory of its own, so that the language switch and the
  # settings the program makes do not touch the build.
  for file in "$bin"/*; do
    case "$(basename "$file")" in
      PelmarGeneral.ini|config|Pelmar??.pdf.partial|*.lock) ;;
      Ellip.db|HeaderInfo.dat) cp "$file" "$home/" ;;
      *) ln -s "$file" "$home/" ;;
    esac
  done
  sed "s/^CurrentLanguage=.*/CurrentLanguage=$code/" "$bin/PelmarGeneral.ini" > "$home/PelmarGeneral.ini"
  lower="$(echo "$code" | tr 'A-Z' 'a-z')"
  if command -v xvfb-run >/dev/null 2>&1; then
    PELMAR_HOME="$home" PELMAR_BATCH_DIALOGS=1 xvfb-run -a -s "-screen 0 1280x1024x24" \
      "$bin/pelmar" --screenshots "$out/$lower"
  else
    PELMAR_HOME="$home" PELMAR_BATCH_DIALOGS=1 QT_QPA_PLATFORM=offscreen "$bin/pelmar" --screenshots "$out/$lower"
  fi
  if command -v pdftoppm >/dev/null 2>&1 && [ -f "$bin/Pelmar$code.pdf" ]; then
    pdftoppm -r 70 -png -f 1 -l 3 "$bin/Pelmar$code.pdf" "$out/$lower/manual"
  fi
done
ls "$out"/en "$out"/de
