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
  exec "$app" "${1:-examples/CookeTriplet.zmx}"
fi
echo "Built the libraries, tests and benchmarks in $build/."
echo "The application window is not part of the build yet: it arrives with the application layer."
