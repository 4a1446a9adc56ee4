#!/usr/bin/env bash
# Redraws the PNG sizes of the program icon from data/icons/quil.svg (librsvg's converter),
# and the 64-pixel window icon the program carries in its resources.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null || sudo apt-get install -y -qq librsvg2-bin
for s in 16 32 48 64 128 256; do
  rsvg-convert -w "$s" -h "$s" data/icons/quil.svg -o "data/icons/quil-$s.png"
done
cp data/icons/quil-64.png src/ui/main/icons/quil.png
