#!/usr/bin/env bash
# Configures and builds Pelmar into build/ with Ninja. PELMAR_BUILD_TYPE
# (default RelWithDebInfo) and PELMAR_CMAKE_ARGS choose the build; when they
# differ from the ones build/ was configured with, it is configured afresh
# (a fresh cache: an option left out goes back to its default). Says which
# build it made.
set -euo pipefail
cd "$(dirname "$0")/.."
build_type="${PELMAR_BUILD_TYPE:-RelWithDebInfo}"
cmake_args="${PELMAR_CMAKE_ARGS:-}"
wanted="type=$build_type args=$cmake_args"
stamp=build/pelmar-configuration
if [ ! -f build/build.ninja ] || [ "$(cat "$stamp" 2>/dev/null)" != "$wanted" ]; then
  if [ -f build/CMakeCache.txt ]; then
    echo "build.sh: configuring build/ afresh for $wanted (it was: $(cat "$stamp" 2>/dev/null || echo unknown))"
    rm -f build/CMakeCache.txt
  fi
  # Until the configuration succeeds, build/ belongs to none: a failed one is
  # tried again next time.
  rm -f "$stamp"
  # shellcheck disable=SC2086  # the arguments are meant to split
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE="$build_type" $cmake_args
  echo "$wanted" > "$stamp"
fi
cmake --build build --parallel "$(nproc)"
echo "build.sh: built build/ ($build_type${cmake_args:+, $cmake_args})"
