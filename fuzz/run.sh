#!/usr/bin/env bash
# Runs every fuzz target of BUILD_DIR for SECONDS seconds each, starting from
# its committed seed corpus. New inputs go to a working corpus in the build
# folder (the committed seeds stay as they are); a crash leaves its input
# there as crash-*, and the run fails.
set -euo pipefail
BUILD_DIR=${1:-build-fuzz}
SECONDS_EACH=${2:-60}
HERE="$(cd "$(dirname "$0")" && pwd)"
BUILD_DIR="$(cd "$BUILD_DIR" && pwd)"
failed=()
for seeds in "$HERE"/corpus/*/; do
  target=$(basename "$seeds")
  exe="$BUILD_DIR/$target"
  if [ ! -x "$exe" ]; then
    echo "fuzz: $target was not built" >&2
    failed+=("$target")
    continue
  fi
  work="$BUILD_DIR/corpus/$target"
  mkdir -p "$work"
  echo "fuzz: $target for ${SECONDS_EACH}s"
  if ! (cd "$BUILD_DIR" && "$exe" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
          -artifact_prefix="$BUILD_DIR/$target-" -print_final_stats=1 "$work" "$seeds" \
          >"$BUILD_DIR/$target.log" 2>&1); then
    echo "fuzz: $target FAILED (see $BUILD_DIR/$target.log)" >&2
    tail -n 40 "$BUILD_DIR/$target.log" >&2
    failed+=("$target")
    continue
  fi
  grep -E "^stat::(number_of_executed_units|new_units_added)" "$BUILD_DIR/$target.log" | tr '\n' ' '
  echo
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: every target ran clean"
