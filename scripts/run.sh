#!/usr/bin/env bash
# Sets up, builds and starts vidloom from build/bin/. Without a display it
# records a short demo on a private X and sound server instead and prints
# where the file is.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/build.sh" "$ROOT/build"
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no display; recording a headless demo"
  exec "$ROOT/scripts/with-test-servers.sh" "$ROOT/scripts/demo.sh" "$ROOT/build/bin"
fi
exec "$ROOT/build/bin/vidloom" "$@"
