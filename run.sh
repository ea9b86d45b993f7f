#!/usr/bin/env bash
# Installs what is missing, builds CVLog in build/ and starts build/cvlog.
#   ./run.sh          the program
#   ./run.sh --demo   the program linked to a simulated instrument holding a few dozen flights
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
cvlog_install_packages

cvlog_configure_build
cmake --build build -j "$(cvlog_jobs)" --target cvlog cvlog-sim

if [ "${1:-}" = "--demo" ]; then
  exec scripts/demo.sh
fi
exec build/cvlog
