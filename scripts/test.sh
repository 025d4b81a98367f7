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

# Test programs that exercise threads and shared queues, run again under the
# sanitizers.
SANITIZED=(OS_ThreadingTest OS_LogTest MediaPacketTest)
for extra in "$ROOT"/tests/sanitized.list; do
  [ -f "$extra" ] && while read -r name; do
    [ -n "$name" ] && SANITIZED+=("$name")
  done <"$extra"
done
LABELS="^($(IFS='|'; echo "${SANITIZED[*]}"))\$"

if [ "${VIDLOOM_SKIP_SANITIZERS:-0}" != "1" ]; then
  for kind in address thread; do
    echo "== tests under the $kind sanitizer"
    "$ROOT/scripts/build.sh" "$ROOT/build-$kind" "-DVIDLOOM_SANITIZE=$kind" -- "${SANITIZED[@]}"
    ASAN_OPTIONS=detect_leaks=1 TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
      "$ROOT/scripts/with-test-servers.sh" \
      ctest --test-dir "$ROOT/build-$kind" --output-on-failure --no-tests=error -L "$LABELS"
  done
fi
echo "== all tests passed"
