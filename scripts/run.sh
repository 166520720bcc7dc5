#!/usr/bin/env bash
# Installs what is missing, builds, and opens the window. Arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target morvane
exec build/default/src/app/morvane "$@"
