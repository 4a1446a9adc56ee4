#!/usr/bin/env bash
# No file in src/ includes a header of a folder above its own (scripts/layers.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
echo "== layers: no include runs upward =="
scripts/layers.sh
