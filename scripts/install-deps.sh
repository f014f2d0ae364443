#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Pelmar need,
# when they are missing, and makes the German locale the tests use.
set -euo pipefail

packages=(
  cmake ninja-build ccache g++ pkg-config
  qt6-base-dev qt6-svg-dev qt6-translations-l10n libgl-dev fonts-dejavu-core
  libgeographiclib-dev libproj-dev
  nlohmann-json3-dev libgtest-dev libgmock-dev libbenchmark-dev libboost-math-dev
  xvfb xauth locales poppler-utils dpkg-dev file fakeroot lintian
  proj-bin proj-data geographiclib-tools gdal-bin
  clang libclang-rt-14-dev
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

need_locale=0
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
  need_locale=1
fi

if [ ${#missing[@]} -eq 0 ] && [ $need_locale -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  # The same steps as for root below, by running this very script as root.
  self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
  echo "Pelmar needs Debian packages that are missing:" >&2
  [ ${#missing[@]} -gt 0 ] && echo "  ${missing[*]}" >&2
  [ $need_locale -eq 1 ] && echo "and the German locale (de_DE.UTF-8) for the tests." >&2
  echo "Run this as root (it runs apt-get update, then apt-get install -y --no-install-recommends with" >&2
  echo "the packages above, and makes the locale):" >&2
  # Quoted for the shell that runs it (a path may hold blanks).
  quoted="$(printf '%q' "$self")"
  if command -v sudo >/dev/null 2>&1; then
    echo "  sudo $quoted" >&2
  else
    echo "  su -c \"$quoted\"" >&2
  fi
  echo "then start this script again." >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

if [ $need_locale -eq 1 ]; then
  if [ -f /etc/locale.gen ] && grep -q 'de_DE.UTF-8 UTF-8' /etc/locale.gen; then
    sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  else
    echo 'de_DE.UTF-8 UTF-8' >> /etc/locale.gen
  fi
  locale-gen >/dev/null
fi
