#!/usr/bin/env bash
# The main job: set up, build the release configuration and run the demo.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target tavo-demo
exec build/release/examples/tavo-demo "$@"
