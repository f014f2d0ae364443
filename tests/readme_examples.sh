#!/usr/bin/env bash
# Runs the README's examples: every fenced block marked ```console, its
# "$ " lines as commands (a line ending in "\" goes on), in one shell per
# block, in a scratch folder that has the build as build/bin and the source
# tree's tests/ beside it. The program directory is a scratch copy
# (PELMAR_HOME), so the examples' stored sets never reach the build. Every
# other line of a block is output that the block's commands must print.
# Usage: tests/readme_examples.sh README.md BUILD_BIN_DIR
set -euo pipefail
readme="$1"
bin="$(cd "$2" && pwd)"
source_dir="$(cd "$(dirname "$readme")" && pwd)"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

export PELMAR_HOME="$scratch/home" XDG_DATA_HOME="$scratch/data" HOME="$scratch/user"
mkdir -p "$PELMAR_HOME" "$XDG_DATA_HOME" "$HOME"
# The programs and computation libraries are linked; every other file is
# copied (a link would let the examples write through it into the build:
# a database's checksum file, say).
for file in "$bin"/*; do
  case "$(basename "$file")" in
    config | *.lock) ;;
    *.so) ln -s "$file" "$PELMAR_HOME/" ;;
    *) if [ -f "$file" ] && [ -x "$file" ]; then ln -s "$file" "$PELMAR_HOME/"; elif [ -f "$file" ]; then cp "$file" "$PELMAR_HOME/"; fi ;;
  esac
done

blocks=0
failed=0
# Splits the README into blocks: commands to block<N>.sh, output to block<N>.out.
awk -v dir="$scratch" '
  /^```console$/ { n++; inside = 1; command = ""; next }
  /^```/ && inside { inside = 0; next }
  inside {
    if (command != "") { command = command "\n" $0; if ($0 !~ /\\$/) { print command > (dir "/block" n ".sh"); command = "" } ; next }
    if (substr($0, 1, 2) == "$ ") { line = substr($0, 3); if (line ~ /\\$/) { command = line } else { print line > (dir "/block" n ".sh") }; next }
    print > (dir "/block" n ".out")
  }' "$readme"

for script in "$scratch"/block*.sh; do
  [ -e "$script" ] || continue
  blocks=$((blocks + 1))
  name="$(basename "$script" .sh)"
  work="$scratch/$name.dir"
  mkdir -p "$work/build"
  ln -s "$PELMAR_HOME" "$work/build/bin"
  ln -s "$source_dir/tests" "$work/tests"
  if ! (cd "$work" && bash -euo pipefail "$script" > "$scratch/$name.stdout" 2> "$scratch/$name.stderr"); then
    echo "README example $name failed:" >&2
    cat "$script" "$scratch/$name.stderr" >&2
    failed=1
    continue
  fi
  if [ -f "$scratch/$name.out" ]; then
    while IFS= read -r expected; do
      if ! grep -qxF -- "$expected" "$scratch/$name.stdout"; then
        echo "README example $name: this line was not printed: $expected" >&2
        cat "$scratch/$name.stdout" >&2
        failed=1
      fi
    done < "$scratch/$name.out"
  fi
done
[ "$blocks" -gt 0 ] || { echo "no \`\`\`console blocks in $readme" >&2; exit 1; }
echo "$blocks README examples ran"
exit $failed
