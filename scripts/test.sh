#!/usr/bin/env bash
# Set-up, build, then every test suite in a desktop session: a virtual X server with a window manager.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh --tests
cd build
bash ../scripts/desktop-session.sh ctest --output-on-failure -j1
