#!/usr/bin/env bash
# Installs what is missing, builds Zeltrac and starts it with an example file.
# Without a display it prints the example's report through the command-line tool.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)"

# The example writes its Tек values with a decimal point: read numbers the
# same way whatever the regional settings say.
example="examples/line8.dat"
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" && -x build/release/app/zeltrac ]]; then
    LC_ALL= LC_NUMERIC=C.UTF-8 exec build/release/app/zeltrac "$example"
fi
echo "No display found: printing the report of $example instead."
exec build/release/tools/zeltrac-cli --decimal-separator . "$example"
