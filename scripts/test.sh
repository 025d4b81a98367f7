#!/usr/bin/env bash
# Sets up, builds and runs every test: the whole suite against a private X
# server and PulseAudio server, the Wayland tests on a private GNOME desktop,
# then the threaded parts again under AddressSanitizer (with LeakSanitizer)
# and ThreadSanitizer.
# Exits non-zero on any failure.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"

"$ROOT/scripts/install-deps.sh"

echo "== build"
"$ROOT/scripts/build.sh" "$ROOT/build"

# Each Wayland test gets a desktop of its own: one of them ends the
# compositor, and the portal remembers grants. The PortalStandIn cases serve
# the portal themselves and need only the bus and PipeWire. The real program
# runs on GNOME Shell, whose window list the portal's window picker shows.
run_wayland_tests() {
  local dir=$1 name
  mapfile -t names < <(ctest --test-dir "$dir" -N -L wayland | sed -n 's/^ *Test *#[0-9]*: //p')
  for name in "${names[@]}"; do
    # the real program's windows run on Xwayland, and it records sound
    program=0 standin=0 shell=0
    [[ $name == *E2E* ]] && program=1 shell=1
    [[ $name == PortalStandIn.* ]] && standin=1
    VIDLOOM_DESKTOP_PROGRAM=$program VIDLOOM_DESKTOP_STANDIN=$standin VIDLOOM_DESKTOP_SHELL=$shell \
      "$ROOT/scripts/with-wayland-desktop.sh" \
      ctest --test-dir "$dir" --output-on-failure --no-tests=error -R "^${name}\$"
  done
}

echo "== tests"
"$ROOT/scripts/with-test-servers.sh" \
  ctest --test-dir "$ROOT/build" --output-on-failure --no-tests=error -LE wayland

echo "== tests on the Wayland desktop"
run_wayland_tests "$ROOT/build"

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
    # They talk D-Bus through Qt, whose own thread and locks the sanitizer
    # cannot see into.
    ASAN_OPTIONS=detect_leaks=1 \
      TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$ROOT/tests/tsan-qt.supp" \
      run_wayland_tests "$dir"
  done
fi
echo "== fuzzing"
"$ROOT/scripts/fuzz.sh" 20

echo "== all tests passed"
