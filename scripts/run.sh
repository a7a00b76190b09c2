#!/usr/bin/env bash
# Set-up, build, then start Korlith.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
exec ./build/korlith
