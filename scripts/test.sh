#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole suite against a private X
# server and PulseAudio server, then the threaded parts again under
# AddressSanitizer (with LeakSanitizer) and ThreadSanitizer.
# Exits non-zero on any failure.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

"$ROOT/scripts/install-deps.sh"

echo "== build"
"$ROOT/scripts/build.sh" "$ROOT/build"

echo "== tests"
"$ROOT/scripts/with-test-servers.sh" \
  ctest --test-dir "$ROOT/build" --output-on-failure --no-tests=error

# Test programs marked "// vidloom:sanitize" exercise threads and shared
# queues: run them again under the sanitizers.
if [ "${VIDLOOM_SKIP_SANITIZERS:-0}" != "1" ]; then
  for kind in address thread; do
    echo "== tests under the $kind sanitizer"
    dir="$ROOT/build-$kind"
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DVIDLOOM_SANITIZE=$kind" >/dev/null
    mapfile -t targets < <(grep -v '^$' "$dir/sanitized-targets.txt")
    [ ${#targets[@]} -gt 0 ] || continue
    cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"
    ASAN_OPTIONS=detect_leaks=1 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
      "$ROOT/scripts/with-test-servers.sh" \
      ctest --test-dir "$dir" --output-on-failure --no-tests=error -L sanitize
  done
fi
echo "== fuzzing"
"$ROOT/scripts/fuzz.sh" 20

echo "== all tests passed"
