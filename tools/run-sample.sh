#!/usr/bin/env bash
# Builds the command-line front end, scans the bundled samples and saves what the
# damaged one still holds, as a bundle and as standard files.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/build.sh" mendora-cli
for sample in "$root/samples/intact.olm" "$root/samples/damaged.olm"; do
  echo "== $sample"
  "$root/build/mendora-cli" scan "$sample"
done
destination="${MENDORA_SAVE_DIR:-$root/build/saved}"
mkdir -p "$destination"
echo "== saving $root/samples/damaged.olm into $destination"
status=0
"$root/build/mendora-cli" save "$root/samples/damaged.olm" "$destination" || status=$?
if [ "$status" -ne 0 ]; then
  echo "mendora-cli save exited with status $status: the items named above were not written" >&2
fi
echo "== saving $root/samples/damaged.olm into $destination as standard files"
standard=0
"$root/build/mendora-cli" save "$root/samples/damaged.olm" "$destination" --format standard --replace || standard=$?
if [ "$standard" -ne 0 ]; then
  echo "mendora-cli save --format standard exited with status $standard" >&2
  [ "$status" -ne 0 ] || status=$standard
fi
exit "$status"
