#!/usr/bin/env bash
# Builds the tests a second time under a sanitizer, in a directory of its own, and runs them there.
#   address: AddressSanitizer and UndefinedBehaviorSanitizer (float-cast-overflow included);
#            core, GUI and fuzz-regression tests.
#   thread:  ThreadSanitizer; the tests that run the scan (its parsing pool among them), the saving
#            thread and the search thread.
# Any report ends the test program with an error, so the run fails.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
kind="${1:?usage: run-sanitized.sh address|thread}"
bash "$root/tools/bootstrap.sh" --tests
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$root")}"

case "$kind" in
  address)
    dir="$root/build-asan"
    option=-DMENDORA_SANITIZE=ON
    tests=()
    for source in "$root"/tests/core/test_*.cpp "$root"/tests/gui/test_*.cpp; do
      tests+=("$(basename "$source" .cpp)")
    done
    # Qt and fontconfig keep caches for the life of the process; only errors count, not leaks.
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    ;;
  thread)
    dir="$root/build-tsan"
    option=-DMENDORA_TSAN=ON
    tests=(test_containerwalk test_lossaccount test_savebundle test_olmsearch test_saveworkflow test_searchdialog test_browsescan)
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tools/tsan.supp"
    ;;
  *) echo "unknown sanitizer: $kind" >&2; exit 2 ;;
esac

cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$option" \
      -DCMAKE_CXX_COMPILER_LAUNCHER="$(command -v ccache || true)" >/dev/null
ninja -C "$dir" -j"$(nproc)" "${tests[@]}"
regex="^($(IFS='|'; echo "${tests[*]}"))\$"
cd "$dir"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" --timeout 900 -R "$regex"
