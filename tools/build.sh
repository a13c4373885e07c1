#!/usr/bin/env bash
# Configures and builds Mendora in build/ (targets given as arguments, default all).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/bootstrap.sh"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$root/build" -j"$(nproc)" "$@"
