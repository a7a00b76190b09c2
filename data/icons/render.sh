#!/usr/bin/env bash
# Renders the program icon's PNG sizes from korlith.svg (needs rsvg-convert, librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for s in 16 32 48 64 128 256; do rsvg-convert -w "$s" -h "$s" korlith.svg -o "korlith-$s.png"; done
