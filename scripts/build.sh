#!/usr/bin/env bash
# Installs the Debian packages Korlith needs and builds it into ./build. Usage:
#   scripts/build.sh            the program and what it needs to start
#   scripts/build.sh --tests    everything: the program, the suites, the benchmarks, the package
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh "$@"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${1:-}" = "--tests" ]; then
  cmake --build build -j2
else
  cmake --build build -j2 --target korlith
fi
