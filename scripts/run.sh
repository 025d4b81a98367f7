#!/usr/bin/env bash
# Sets up, builds and starts vidloom from build/bin/.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
"$ROOT/scripts/install-deps.sh"
"$ROOT/scripts/build.sh" "$ROOT/build"
exec "$ROOT/build/bin/vidloom" "$@"
