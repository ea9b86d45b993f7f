#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
#   build/       the program as run.sh builds it, with the benchmarks
#   build-asan/  the suite under AddressSanitizer and UndefinedBehaviorSanitizer
#   build-fuzz/  the libFuzzer targets (clang), each run as a test
#   build-tsan/  the link and serial-channel tests under ThreadSanitizer
# and then installs build/ into a temporary prefix and packages it.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
cvlog_install_packages
jobs=$(cvlog_jobs)

# The sources read as the project formats them, and no layer includes one above it.
git ls-files -- '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
scripts/check_layers.sh

cvlog_configure_build
cmake --build build -j "$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DCVLOG_SANITIZE=ON -DCVLOG_BENCH=OFF -DCVLOG_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"

CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCVLOG_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs"

# Only the serial channel runs a thread of its own; this tree builds just
# its tests and those of the link code it feeds.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=Debug -DCVLOG_TSAN=ON -DCVLOG_BENCH=OFF -DCVLOG_WERROR=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target tests_link_serial tests_link

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

status=0
(cd build-fuzz && ctest --output-on-failure -j "$jobs") || status=1
(cd build-asan && ctest --output-on-failure -j "$jobs" --timeout 600) || status=1
(cd build-tsan && ctest --output-on-failure -j "$jobs" -L link) || status=1
# A race between the worker and the user-interface thread shows only in
# some runs; the channel's tests on pseudo-terminals run many times.
(cd build-tsan && ctest --output-on-failure -j "$jobs" -L serial --repeat until-fail:20) || status=1
# The program as a user installs it: cmake --install, the .deb and lintian,
# the package's contents run with an empty home; made from build/.
python3 tests/packaging/package_test.py build || status=1
exit $status
