#!/usr/bin/env bash
# The whole test suite: set up, build the dev configuration (ASan + UBSan, warnings as errors)
# and run every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev "$@"
