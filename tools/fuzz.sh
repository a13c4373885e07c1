#!/usr/bin/env bash
# Runs one fuzz target for a while, one process at a low priority:
#   tools/fuzz.sh fuzz_scan|fuzz_parsers SECONDS [BUILD_DIR]
# The build directory (default build-fuzz) comes from
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DMENDORA_FUZZ=ON && ninja -C build-fuzz fuzz_scan fuzz_parsers
# An input that takes longer than 5 s or more than 2 GB is a finding like a crash.
# Findings land in BUILD_DIR/fuzz-work/TARGET/findings; keep each in
# fuzz/regressions/scan or fuzz/regressions/parsers, which CI replays.
# "tools/fuzz.sh TARGET replay" runs the target once over its regressions.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
target="${1:?target: fuzz_scan or fuzz_parsers}"
seconds="${2:?seconds to run, or replay}"
build="${3:-$root/build-fuzz}"
case "$target" in
  fuzz_scan) regressions="$root/fuzz/regressions/scan" ;;
  fuzz_parsers) regressions="$root/fuzz/regressions/parsers" ;;
  *) echo "unknown target $target" >&2; exit 64 ;;
esac
binary="$build/$target"
[ -x "$binary" ] || { echo "$binary is not built" >&2; exit 1; }
limits=(-timeout=5 -rss_limit_mb=2048 -malloc_limit_mb=2048)

if [ "$seconds" = replay ]; then
  mapfile -t inputs < <(find "$regressions" -type f ! -name '.*' | sort)
  [ ${#inputs[@]} -eq 0 ] || nice -n 10 "$binary" "${limits[@]}" "${inputs[@]}"
  exit
fi

work="$build/fuzz-work/$target"
mkdir -p "$work/corpus" "$work/findings"
rm -rf "$work/seeds"
/usr/bin/python3 "$root/tools/fuzz_seeds.py" "$target" "$work/seeds"
# New inputs go to the first directory; the others are read.
nice -n 10 "$binary" "${limits[@]}" -max_len=65536 -max_total_time="$seconds" -print_final_stats=1 \
  -artifact_prefix="$work/findings/" "$work/corpus" "$work/seeds" "$regressions" 2>&1 | tee -a "$work/log"
