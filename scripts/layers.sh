#!/usr/bin/env bash
# Prints every include that runs up the layers: a file in src/ including a header of a folder
# above its own. Exits 1 when there is one, or when a folder of src/ has no place below.
# Usage: scripts/layers.sh [source folder, default src]
set -euo pipefail
cd "$(dirname "$0")/.."
src=${1:-src}

# The folders from the bottom up. A folder may include its own headers and those of the
# folders listed before it, never those after it. The Qt-free folders come first (the build
# without Qt builds them); src/app, the composition root of the tool windows, is the top.
layers=(
  store           # records, files, settings, periods: no Qt
  folder          # data-set logic: check, move, backup, restore, import, CSV; no Qt
  reports         # calculations: the analysis (fleet), summary table, alcohol rules; no Qt
  papers          # driver licences and vehicle papers: expiry, entry rules, CSV; no Qt
  server          # the data set on a PostgreSQL server (libpq): schema, versions, push/pull; no Qt
  tool            # quil-tool, the command-line companion; no Qt
  web             # quil-web, the drivers' page server (libmicrohttpd, libpq); no Qt
  web/pages       # quil-web's pages, one handler each, over their shared steps; no Qt
  web/app         # quil-web put together: the router over the pages and the transport; no Qt
  ext             # QuilExt.db (Qt SQL)
  ui/components   # widgets
  ui/dialogs      # record entry, master lists, filters, data folder dialog, prompts
  ui/printing     # grid printer, print target, print dialog
  ui/windows      # the vehicle log's own minor windows: summary table, about box, settings
  ui/tools        # the ツール menu's windows
  ui/tools/alcohol  # the alcohol-check register's windows
  ui/tools/charts   # the グラフ window's chart module
  ui/tools/papers   # the windows of driver licences and vehicle papers
  ui/main         # the main window and the program
  app             # the composition root of libquil_tools.so
)

declare -A rank
for i in "${!layers[@]}"; do rank[${layers[$i]}]=$i; done

found=0
unplaced=0
while IFS= read -r dir; do
  folder=${dir#"$src"/}
  if [ -z "${rank[$folder]+x}" ]; then
    if compgen -G "$dir/*.[ch]*" >/dev/null; then
      echo "folder $src/$folder has no place in scripts/layers.sh" >&2
      unplaced=1
    fi
    continue
  fi
  while IFS=: read -r file line target; do
    to=$(dirname "$target")
    [ -n "${rank[$to]+x}" ] || continue  # a system or third-party header
    if [ "${rank[$to]}" -gt "${rank[$folder]}" ]; then
      echo "$file:$line: $folder -> $to ($target)"
      found=$((found + 1))
    fi
  done < <(grep -HnoE '^\s*#\s*include\s+"[^"]+"' "$dir"/*.[ch]* 2>/dev/null |
           sed -E 's/#\s*include\s+"([^"]+)"/\1/; s/:\s+/:/')
done < <(find "$src" -type d | sort)

echo "upward includes: $found"
[ "$found" -eq 0 ] && [ "$unplaced" -eq 0 ]
