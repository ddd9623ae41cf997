#!/usr/bin/env bash
# Installs what the project needs, builds it and runs every test.
#   scripts/test.sh [BUILD_DIR] [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
dir=${1:-build}
shift || true
bash scripts/build.sh "$dir" "$@"
mkdir -p "$dir/test-tmp"
# Tests that need a display start the real program under their own Xvfb; the rest run offscreen.
cd "$dir"
ctest --output-on-failure --timeout 300 -j "$(nproc)"
