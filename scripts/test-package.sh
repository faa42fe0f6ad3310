#!/usr/bin/env bash
# Builds the Debian package and checks it as an installed system would see it: the control
# fields, every file the menu, the software centre and man need, both validators, and the
# unpacked programs running against the system's Qt without a display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --run-only desktop-file-utils appstream
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "test-package: $*" >&2
    exit 1
}

scripts/package.sh "$work/out"
debs=("$work"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one .deb, got: ${debs[*]}"
deb=${debs[0]}
root="$work/root"
dpkg-deb -x "$deb" "$root"

# The package's version is the project's; the programs must say the same.
version=$(sed -n 's/^project(Kestrel VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version is not $version"

# dpkg-shlibdeps ran (Qt is there), the font is added, and every dependency names a real package.
depends=$(dpkg-deb -f "$deb" Depends)
for needed in fonts-wqy-microhei libqt6widgets6; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
for dep in $(echo "$depends" | sed 's/([^)]*)//g; s/[,|]/ /g'); do
    dpkg-query -W "$dep" >/dev/null 2>&1 || fail "Depends names an unknown package: $dep"
done

# One desktop entry; its name is the id that the icon and the AppStream data share.
entries=("$root"/usr/share/applications/*.desktop)
[ ${#entries[@]} -eq 1 ] && [ -f "${entries[0]}" ] || fail "expected one desktop entry"
entry=${entries[0]}
id=$(basename "$entry" .desktop)
metainfo="$root/usr/share/metainfo/$id.metainfo.xml"
desktop-file-validate "$entry" || fail "desktop-file-validate refused $entry"
appstreamcli validate --no-net "$metainfo" >/dev/null || {
    appstreamcli validate --no-net "$metainfo" || true
    fail "appstreamcli refused $metainfo"
}
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
[ -x "$root/usr/bin/$exec_program" ] || fail "Exec=$exec_program is not in usr/bin"
[ "$(sed -n 's/^Icon=//p' "$entry")" = "$id" ] || fail "Icon= is not $id"
grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "the AppStream data does not launch $id.desktop"
grep -qF "<release version=\"$version\"" "$metainfo" || fail "no AppStream release $version"

# Icons: the scalable one, and rendered ones of the size their folder says.
icons="$root/usr/share/icons/hicolor"
[ -s "$icons/scalable/apps/$id.svg" ] || fail "no scalable icon"
[ -f "$icons/48x48/apps/$id.png" ] || fail "no 48x48 icon"
for png in "$icons"/*x*/apps/"$id".png; do
    size=$(basename "$(dirname "$(dirname "$png")")")
    file "$png" | grep -q "PNG image data, ${size/x/ x }," || fail "$png is not a $size PNG"
done

# Man pages made from --help: each names its program and lists one of its options.
declare -A some_option=([kestrel]=simulate [kestrel-cli]=port [kestrel-sim]=delay)
for program in "${!some_option[@]}"; do
    page="$root/usr/share/man/man1/$program.1.gz"
    [ -x "$root/usr/bin/$program" ] || fail "usr/bin/$program missing"
    zcat "$page" | grep -q "^\.TH ${program^^} \"1\"" || fail "$page is not $program's"
    zcat "$page" | grep -qF "\\fB\\-\\-${some_option[$program]}\\fR" || fail "$page lacks options"
    readelf -d "$root/usr/bin/$program" | grep -qE 'R(UN)?PATH' && fail "$program keeps an RPATH"
    ! ldd "$root/usr/bin/$program" | grep -q "not found" || fail "$program lacks a library"
done

# The unpacked programs, as a user without a display would start them.
nodisplay=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
[ "$("${nodisplay[@]}" "$root/usr/bin/kestrel" --version)" = "Kestrel $version" ] ||
    fail "kestrel --version does not print Kestrel $version"
[ "$("${nodisplay[@]}" "$root/usr/bin/kestrel-cli" --version)" = "kestrel-cli $version" ] ||
    fail "kestrel-cli --version does not print kestrel-cli $version"
query=$("${nodisplay[@]}" "$root/usr/bin/kestrel-cli" --simulate query) ||
    fail "kestrel-cli --simulate query failed"
grep -qE '^local_address: [0-9A-F]{12}$' <<<"$query" || fail "the query read no address: $query"

echo "Package $(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"
