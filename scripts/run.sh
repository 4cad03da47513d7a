#!/usr/bin/env bash
# Installs what is missing, builds everything and starts the application on an example lens.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
build=${ORB_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel "$(nproc)"
app="$build/src/app/orbelline"
if [ -x "$app" ]; then
  exec "$app" "${1:-examples/CookeTriplet.orb}"
fi
echo "orbelline was not built in $build/src/app; see the build output above." >&2
exit 1
