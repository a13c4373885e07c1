#!/usr/bin/env bash
# Builds the command-line front end and scans the bundled samples.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/build.sh" mendora-cli
for sample in "$root/samples/intact.olm" "$root/samples/damaged.olm"; do
  echo "== $sample"
  "$root/build/mendora-cli" scan "$sample"
done
