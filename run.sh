#!/usr/bin/env bash
# Installs what is missing, builds CVLog in build/ and starts build/cvlog.
#   ./run.sh          the program
#   ./run.sh --demo   the program linked to a simulated instrument holding a few dozen flights
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
cvlog_install_packages

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCVLOG_TESTS=OFF -DCVLOG_BENCH=OFF >/dev/null
cmake --build build -j "$(cvlog_jobs)"

if [ "${1:-}" = "--demo" ]; then
  exec scripts/demo.sh
fi
exec build/cvlog
