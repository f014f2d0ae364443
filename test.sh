#!/usr/bin/env bash
# Installs what is missing, builds Pelmar and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
scripts/build.sh
# Widget tests need no display: Qt renders them off screen.
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 300
# Every reader under libFuzzer with ASan and UBSan, a few seconds each.
scripts/fuzz.sh "${PELMAR_FUZZ_SECONDS:-5}"
