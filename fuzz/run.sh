#!/usr/bin/env bash
# Builds and runs every fuzz target for a while, each with a working corpus under the build
# folder and the committed seeds of fuzz/corpus/<target>/.
#   fuzz/run.sh BUILD_DIR SECONDS
# BUILD_DIR is a build configured with -DOMBRELAY_FUZZ=ON (clang). Each fuzz/fuzz_<name>.cpp is
# the target fuzz_<name>. A crash, a sanitizer report or a leak fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:?usage: fuzz/run.sh BUILD_DIR SECONDS}
seconds=${2:?usage: fuzz/run.sh BUILD_DIR SECONDS}
targets=()
for src in fuzz/fuzz_*.cpp; do
    [ -e "$src" ] || continue
    targets+=("$(basename "$src" .cpp)")
done
if [ ${#targets[@]} -eq 0 ]; then
    echo "fuzz: no targets"
    exit 0
fi
cmake --build "$dir" --parallel "$(nproc)" --target "${targets[@]}"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
    exe=$(find "$dir/fuzz" -maxdepth 2 -type f -name "$t" -perm -u+x | head -n 1)
    if [ -z "$exe" ]; then
        echo "fuzz: $t was not built" >&2
        status=1
        continue
    fi
    work="$dir/fuzz-corpus/$t"
    mkdir -p "$work" "$dir/fuzz-artifacts/$t"
    seeds=()
    [ -d "fuzz/corpus/$t" ] && seeds=("fuzz/corpus/$t")
    echo "== fuzz: $t for $seconds s"
    if ! "$exe" "$work" "${seeds[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$dir/fuzz-artifacts/$t/" -print_final_stats=1 2>"$dir/fuzz-artifacts/$t/log.txt"; then
        echo "fuzz: $t FAILED; last lines of $dir/fuzz-artifacts/$t/log.txt:" >&2
        tail -n 40 "$dir/fuzz-artifacts/$t/log.txt" >&2
        status=1
    else
        grep -E '^stat::(number_of_executed_units|peak_rss_mb)|^Done' "$dir/fuzz-artifacts/$t/log.txt" || true
    fi
done
exit $status
