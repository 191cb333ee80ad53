#!/usr/bin/env bash
# Installs what is missing, builds, and starts the player.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
exec "$build/corvel-player"
