#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a normal
# build and one with AddressSanitizer and UndefinedBehaviorSanitizer, both with
# warnings treated as errors. Then the test programs that start threads (the
# session's, the exact optimum's cancelling, the analysis windows') once more
# under ThreadSanitizer: only those are built, only their tests run (label
# "threads"). The window program's crash test needs a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh --test --display

jobs=$(nproc)
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"

for preset in dev asan; do
    echo "=== ${preset}: configure and build"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    echo "=== ${preset}: tests"
    ctest --preset "$preset" -j "$jobs" -LE referee
    # Our own exact solver against CBC on many lines: once, in the normal build.
    if [ "$preset" = dev ]; then ctest --preset dev -j "$jobs" -L referee; fi
done

echo "=== tsan: configure, build and run the tests that start threads"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs"
ctest --preset tsan -j "$jobs"
