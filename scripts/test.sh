#!/usr/bin/env bash
# Set-up, build, then every test suite under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
cd build
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j1
