#!/usr/bin/env bash
# Configures and builds Mendora in build/ (targets given as arguments, default all).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/tools/bootstrap.sh"
# ccache keys on paths relative to the checkout's parent, so worktrees share one cache.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$root")}"
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_COMPILER_LAUNCHER="$(command -v ccache || true)" >/dev/null
ninja -C "$root/build" -j"$(nproc)" "$@"
