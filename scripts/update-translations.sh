#!/usr/bin/env bash
# Collects the texts of the windows (tr / QCoreApplication::translate) into
# resources/translations/vidloom_en.ts. New texts come in as unfinished: give
# them their English in the file (or with Qt Linguist), then rebuild; lrelease
# compiles the file at build time.
#
# Texts lupdate no longer finds in the sources are kept as ordinary entries,
# so translations written ahead of their code (or kept for a window being
# rewritten) survive; delete them by hand when they are truly gone.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
TS="$ROOT/resources/translations/vidloom_en.ts"
LUPDATE=${LUPDATE:-/usr/lib/qt5/bin/lupdate}
[ -x "$LUPDATE" ] || LUPDATE="lupdate -qt=5"

cd "$ROOT"
$LUPDATE -silent -locations none -source-language zh_CN -target-language en \
  -I "$ROOT" app ui capture -ts "$TS"
# Keep what lupdate marked as gone from the code.
sed -i -e 's/ type="vanished"//' -e 's/ type="obsolete"//' "$TS"
echo "update-translations: $(grep -c '<message' "$TS") texts, $(grep -c 'type="unfinished"' "$TS") unfinished"
