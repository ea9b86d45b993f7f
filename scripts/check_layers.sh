#!/usr/bin/env bash
# Fails when a source includes a header of a layer above its own: each folder
# may include only the folders listed for it. Run by test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [logstore]="logstore"
  [settings]="settings logstore"
  [link]="link settings logstore"
  [presentation]="presentation logstore"
  [output]="output presentation logstore"
  # Flights read from the files of other logbooks and from the exports.
  [import]="import presentation settings logstore"
  # The command line, and the commands that will run without a window.
  [cli]="cli output presentation settings logstore"
  [app]="app cli import link output presentation settings logstore"
  # The simulator shares no code with the program, on purpose.
  [tools/cvlog_sim]="tools/cvlog_sim"
)

status=0
for folder in "${!allowed[@]}"; do
  while IFS= read -r hit; do
    file=${hit%%:*}
    header=$(sed -E 's/.*#include "([^"]*)".*/\1/' <<<"${hit#*:}")
    [[ $header == */* ]] || continue # a header beside the source
    ok=0
    for layer in ${allowed[$folder]}; do
      [[ $header == "$layer"/* ]] && ok=1
    done
    if [ "$ok" -eq 0 ]; then
      echo "$file includes $header, which is not below $folder" >&2
      status=1
    fi
  done < <(git ls-files -- "$folder" | grep -E '\.(cpp|h)$' | xargs -r grep -H '^#include "' || true)
done
exit $status
