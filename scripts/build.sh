#!/usr/bin/env bash
# Configures (once) and builds Pelmar into build/ with Ninja.
set -euo pipefail
cd "$(dirname "$0")/.."
build_type="${PELMAR_BUILD_TYPE:-RelWithDebInfo}"
if [ ! -f build/build.ninja ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$build_type" ${PELMAR_CMAKE_ARGS:-}
fi
cmake --build build --parallel "$(nproc)"
