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
# The dialog templates' texts reach the Qt window through the table the build makes of the
# resource script, each marked with its dialog's context: lupdate reads a copy of that table.
cmake -DRC_FILE=res/kestrel.rc -DCPP_FILE="$work/DialogTemplates.cpp" -P cmake/RcToCpp.cmake
"$lupdate" "${options[@]}" engine/*.cpp engine/*.h cli/*.cpp qt/*.cpp qt/*.h win32/*.cpp \
    "$work/DialogTemplates.cpp" -ts "$work/kestrel_en.ts" >"$work/lupdate.log" 2>&1 ||
    { cat "$work/lupdate.log"; exit 1; }

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
# The rest of the resource script (its string table) lupdate cannot read, but the Win32 window
# takes those texts from the same contexts as the Qt window's, so each text of it must be a
# source there. Font names and the version block are not shown in the window.
while IFS= read -r text; do
    escaped=$(printf '%s' "$text" | sed 's/&/\&amp;/g')
    grep -qF "<source>$escaped</source>" "$work/kestrel_en.ts" ||
        report+=$'\n'"res/kestrel.rc | $text | not in the catalogue"
done < <(grep -v -E '^\s*(FONT|VALUE)' res/kestrel.rc | grep -oP '"[^"]*[^\x00-\x7f][^"]*"' |
         sed -e 's/^"//' -e 's/"$//' -e 's/ *$//' | sort -u)
# A Chinese literal that no translation call or mark carries would stay Chinese in English. A
# literal that continues the one on the line before belongs to that one's call; a text meant to
# read the same in both languages says so in a comment on its line.
unmarked=$(awk '
    FNR == 1 { previous = "" }
    /"[^"]*[^\x01-\x7f][^"]*"/ && !/^[ \t]*\/\// {
        if ($0 !~ /translate\(|Tr\(|TrWide\(|TR_NOOP\(|TRANSLATE_NOOP\(|both languages/ &&
            previous !~ /"[ \t]*$/)
            print FILENAME ":" FNR " | " $0 " | not marked for translation"
    }
    { previous = $0 }
' engine/*.cpp cli/*.cpp qt/*.cpp win32/*.cpp win32/*.h)
[ -n "$unmarked" ] && report+=$'\n'"$unmarked"
report=$(printf '%s' "$report" | sed '/^$/d')
if [ -n "$report" ]; then
    echo "The catalogue res/translations/kestrel_en.ts is out of step with the code:"
    echo "$report"
    echo "Run: cmake --build build --target update_translations, then translate the new texts."
    exit 1
fi
echo "Catalogue: every text has its English translation, none is left over."
