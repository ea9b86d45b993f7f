#!/usr/bin/env bash
# Installs the Debian packages CVLog needs to build, test and run, where missing.
# Sourced by run.sh and test.sh.
set -euo pipefail

CVLOG_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 libclang-rt-14-dev clang-format
  python3 python3-dbfread python3-pyshp
  poppler-utils xvfb xauth xclip fonts-liberation2
  # The install and the Debian package, and the checks of both.
  dpkg-dev file man-db lintian desktop-file-utils appstream
)

cvlog_install_packages() {
  local missing=()
  for p in "${CVLOG_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

cvlog_jobs() { nproc 2>/dev/null || echo 2; }

# build/ is shared by run.sh and test.sh: both configure it with every option
# given, the same ones, so neither leaves the other a cache of its own
# choices (run.sh then builds only what it runs).
cvlog_configure_build() {
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCVLOG_TESTS=OFF -DCVLOG_BENCH=ON \
    -DCVLOG_WERROR=ON -DCVLOG_SANITIZE=OFF -DCVLOG_FUZZ=OFF -DCVLOG_TSAN=OFF >/dev/null
}
