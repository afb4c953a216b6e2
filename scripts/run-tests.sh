#!/usr/bin/env bash
# Installs the missing Debian packages, builds everything and the Debian
# package in build/ and runs the whole suite through ctest, the packaging
# test included. The exit status is ctest's.
# Tests run one at a time unless CTEST_PARALLEL_LEVEL says otherwise: each
# starts its own office, and some measure deadlines that a loaded machine
# would distort.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$repo/build"

bash "$repo/scripts/install-deps.sh"

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j"$(nproc)"
cmake --build "$build" --target package

status=0
ctest --test-dir "$build" --output-on-failure || status=$?
exit "$status"
