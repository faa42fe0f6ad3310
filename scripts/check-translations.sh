#!/usr/bin/env bash
# Fails when a text the user sees has no English translation in res/translations/kestrel_en.ts,
# or when the catalogue still holds texts that the code no longer has. lupdate reads the sources
# into a copy of the catalogue; the committed file itself is never changed.
#   scripts/check-translations.sh [LUPDATE [OPTION...]]
set -euo pipefail
cd "$(dirname "$0")/.."
lupdate=${1:-/usr/lib/qt6/bin/lupdate}
shift || true
options=("$@")
if [ ${#options[@]} -eq 0 ]; then
    options=(-tr-function-alias translate+=Tr,QT_TRANSLATE_NOOP+=KESTREL_TR_NOOP -locations none
             -no-ui-lines -source-language zh_CN -target-language en)
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp res/translations/kestrel_en.ts "$work/kestrel_en.ts"
"$lupdate" "${options[@]}" dialog/*.cpp dialog/*.h cli/*.cpp qt/*.cpp qt/*.h win32/*.cpp \
    -ts "$work/kestrel_en.ts" >"$work/lupdate.log" 2>&1 || { cat "$work/lupdate.log"; exit 1; }

# Each message as "context | source | state", for the report.
report=$(awk '
    /<name>/        { sub(/.*<name>/, ""); sub(/<\/name>.*/, ""); context = $0 }
    /<source>/      { source = $0; sub(/.*<source>/, "", source); sub(/<\/source>.*/, "", source) }
    /<translation/  { state = "translated"
                      if ($0 ~ /type="unfinished"/) state = "untranslated"
                      if ($0 ~ /type="(vanished|obsolete)"/) state = "no longer in the code"
                      if ($0 ~ /<translation[^>]*><\/translation>/ && state == "translated") state = "untranslated"
                      if (state != "translated") print context " | " source " | " state }
' "$work/kestrel_en.ts")
if [ -n "$report" ]; then
    echo "The catalogue res/translations/kestrel_en.ts is out of step with the code:"
    echo "$report"
    echo "Run: cmake --build build --target update_translations, then translate the new texts."
    exit 1
fi
echo "Catalogue: every text has its English translation, none is left over."
