#!/usr/bin/env bash
# Installs what is missing, builds Pelmar and runs every test, saying which
# stage it is in.
set -euo pipefail
cd "$(dirname "$0")"
echo "test.sh: installing what is missing (scripts/install-deps.sh) ..."
scripts/install-deps.sh
echo "test.sh: building build/ (scripts/build.sh; about 12 CPU-minutes the first time) ..."
scripts/build.sh
# Widget tests need no display: Qt renders them off screen.
export QT_QPA_PLATFORM=offscreen
echo "test.sh: running the tests (ctest) ..."
ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 300
# Every reader under libFuzzer with ASan and UBSan, a few seconds each.
echo "test.sh: fuzzing the readers (scripts/fuzz.sh; its clang build in build-fuzz/ takes a few minutes the first time) ..."
scripts/fuzz.sh "${PELMAR_FUZZ_SECONDS:-5}"
echo "test.sh: all passed"
