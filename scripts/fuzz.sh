#!/usr/bin/env bash
# Builds the libFuzzer targets in tests/fuzz/ with clang (AddressSanitizer on)
# and runs each for a while. Skips with a message when clang is missing.
#   scripts/fuzz.sh [SECONDS_PER_TARGET]      (default 20)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECS=${1:-20}
CLANG=$(command -v clang++ || true)
if [ -z "$CLANG" ]; then
  echo "fuzz: clang++ not found, skipped"
  exit 0
fi
OUT="$ROOT/build-fuzz"
mkdir -p "$OUT"

# Each target names the sources it needs on a "// fuzz-sources:" line.
for target in "$ROOT"/tests/fuzz/*.cpp; do
  name=$(basename "$target" .cpp)
  sources=$(sed -n 's|^// fuzz-sources: ||p' "$target")
  srcs=()
  for s in $sources; do srcs+=("$ROOT/$s"); done
  "$CLANG" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -I"$ROOT" \
    "$target" "${srcs[@]}" -o "$OUT/$name"
  mkdir -p "$OUT/$name.corpus"
  echo "fuzz: $name for ${SECS}s"
  set +e
  (cd "$OUT" && "./$name" -max_total_time="$SECS" -print_final_stats=1 "$name.corpus" >"$name.log" 2>&1)
  rc=$?
  set -e
  grep -E "^(stat::number_of_executed_units|Done)" "$OUT/$name.log" || true
  if [ $rc -ne 0 ]; then
    tail -40 "$OUT/$name.log"
    echo "fuzz: $name found a fault (input saved as crash-* in $OUT)"
    exit 1
  fi
done
echo "fuzz: no faults"
