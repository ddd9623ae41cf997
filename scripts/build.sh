#!/usr/bin/env bash
# Configures and builds one build folder.
#   scripts/build.sh [BUILD_DIR] [extra cmake options...]
# BUILD_DIR defaults to build/. Examples:
#   scripts/build.sh build-asan -DOMBRELAY_ASAN=ON
#   scripts/build.sh build-tsan -DOMBRELAY_TSAN=ON
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
if [ ! -f "$dir/CMakeCache.txt" ]; then
    cmake -S . -B "$dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
elif [ $# -gt 0 ]; then
    cmake -S . -B "$dir" "$@"
fi
cmake --build "$dir" --parallel "$(nproc)"
