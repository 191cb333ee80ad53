#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite headless.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/build.sh"
export QT_QPA_PLATFORM=offscreen
# A test function that hangs is stopped after two minutes and fails: nothing
# is run twice, a test that fails or hangs once is a failure.
export QTEST_FUNCTION_TIMEOUT=${QTEST_FUNCTION_TIMEOUT:-120000}
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)"
