#!/usr/bin/env bash
# Configures and builds vidloom.
#   scripts/build.sh [BUILD_DIR] [extra cmake arguments...] [-- targets...]
# Default BUILD_DIR: build (the program lands in build/bin/).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD_DIR=${1:-"$ROOT/build"}
[ $# -gt 0 ] && shift
CMAKE_ARGS=()
TARGETS=()
while [ $# -gt 0 ]; do
  if [ "$1" = "--" ]; then shift; TARGETS=("$@"); break; fi
  CMAKE_ARGS+=("$1"); shift
done
cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${CMAKE_ARGS[@]}" >/dev/null
if [ ${#TARGETS[@]} -gt 0 ]; then
  cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${TARGETS[@]}"
else
  cmake --build "$BUILD_DIR" -j "$(nproc)"
fi
