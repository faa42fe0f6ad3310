#!/usr/bin/env bash
# The installer under Wine, in a prefix and on a virtual display of its own, as a user meets it:
# a silent install (/S) of Kestrel-*-win64.exe, the installed programs run (kestrel-cli.exe
# against a simulated module on COM7, kestrel.exe up to its port dialog), two more silent
# installs over it (an upgrade keeps one folder, one Apps entry and the PATH choice), and the
# silent uninstall that the Apps entry names. The user's Kestrel.ini must survive all of it, and a
# PATH too long for the installer must be left as it was.
#
#   scripts/test-windows-installer.sh [BUILD_DIR]
#
# BUILD_DIR is the cross-build (default build-win; built when the installer is missing). The
# simulator comes from KESTREL_SIM, else build/sim/kestrel-sim, else a small Linux build in build-sim.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build-win}
started=$(date +%s)

scripts/setup-deps.sh --wine
scripts/setup-deps.sh --wine-window
compgen -G "$build/Kestrel-*-win64.exe" >/dev/null || scripts/build-windows.sh "$build"
installer=$(ls -1 "$build"/Kestrel-*-win64.exe | head -1)
version=$(basename "$installer" | sed -E 's/^Kestrel-(.*)-win64\.exe$/\1/')
windres=x86_64-w64-mingw32-windres
source scripts/wine-session.sh
# No persistent server: "wineserver -w" then returns once every program in the prefix has ended,
# which is how the uninstaller, which hands over to a copy of itself and returns, is waited for.
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=C.UTF-8 LC_ALL=C.UTF-8
timeout 300 wineboot -i </dev/null >/dev/null 2>&1
# w PROGRAM ARGS...: a Windows program's output without carriage returns, and its exit status.
w() {
    timeout 120 wine "$@" </dev/null 2>/dev/null | tr -d '\r'
    return "${PIPESTATUS[0]}"
}
unixpath() { winepath -u "$1" 2>/dev/null; }

passed=0
failed=0
# check WHAT COMMAND...: one line per failure, a count at the end.
check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
    fi
}
is() { [ "$1" = "$2" ] || { echo "  got '${1:0:100}', expected '${2:0:100}'"; false; }; }

apps='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
system_env='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
user_env='HKCU\Environment'
# value KEY NAME [VIEW]: the value's data as reg prints it (empty when there is none).
value() {
    w reg query "$1" /v "$2" "/reg:${3:-64}" |
        sed -nE "s/^    $2    REG_[A-Z_]+( {4}(.*))?\$/\2/p"
}
# kestrel_keys KEY [VIEW]: how many subkeys of KEY have Kestrel in their name.
kestrel_keys() { w reg query "$1" "/reg:${2:-64}" | grep -ci '\\[^\\]*kestrel[^\\]*$' || true; }

pf=$WINEPREFIX/drive_c/Program\ Files
dir=$pf/Kestrel
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Kestrel
# What an install puts in place, and the uninstall takes away.
installed=("$dir/bin/kestrel.exe" "$dir/bin/kestrel-cli.exe" "$dir/Uninstall.exe" "$menu/Kestrel.lnk")

# The user's settings, as the window keeps them, before anything is installed.
appdata=$(unixpath "$(w cmd /c echo %APPDATA%)") || true
[ -n "$appdata" ] || { echo "the prefix has no %APPDATA%"; exit 1; }
ini=$appdata/Kestrel/Kestrel.ini
mkdir -p "$appdata/Kestrel"
printf '[Settings]\r\nPortNum=3\r\nFlow=1\r\n' >"$ini"
cp "$ini" "$work/ini.before"
# A user PATH longer than the installer's strings: it must come through untouched.
long_path=$(for i in $(seq 1 90); do printf 'C:\\Tools\\pkg%03d;' "$i"; done)
long_path=${long_path%;}
w reg add "$user_env" /v Path /t REG_EXPAND_SZ /d "$long_path" /f >/dev/null
system_path=$(value "$system_env" Path) || true
bin='C:\Program Files\Kestrel\bin'

echo "== the installer"
# A PE32+ (x86-64) program: "PE\0\0", machine 0x8664, optional header magic 0x20b.
bytes() { od -An -tx1 -j"$1" -N"$2" "$installer" | tr -d ' \n'; }
pe=$(od -An -tu4 -j60 -N4 "$installer" | tr -d ' ')
check "the installer is PE32+ x86-64" is "$(bytes "$pe" 6) $(bytes $((pe + 24)) 2)" "504500006486 0b02"
check "the system PATH reads" test -n "$system_path"
size=$(stat -c %s "$installer")

echo "== silent install (/S /PATH=user, with a user PATH too long to change)"
begun=$(date +%s%N)
status=0
w "$installer" /S /PATH=user >/dev/null || status=$?
install_ms=$((($(date +%s%N) - begun) / 1000000))
check "the install exits with 0" is "$status" 0
for file in "${installed[@]}"; do check "installed: ${file#"$WINEPREFIX"/}" test -f "$file"; done
check "the shortcut starts bin\\kestrel.exe" grep -qaF 'Kestrel\bin\kestrel.exe' \
    <(strings -a -el "$menu/Kestrel.lnk"; strings -a "$menu/Kestrel.lnk")
check "one Apps entry in the 64-bit view" is "$(kestrel_keys "$apps")" 1
check "no Apps entry in the 32-bit view" is "$(kestrel_keys "$apps" 32)" 0
key="$apps\\Kestrel"
for row in "DisplayName=Kestrel" "DisplayVersion=$version" "Publisher=Kestrel" \
           "DisplayIcon=C:\\Program Files\\Kestrel\\bin\\kestrel.exe" \
           "UninstallString=\"C:\\Program Files\\Kestrel\\Uninstall.exe\"" \
           "QuietUninstallString=\"C:\\Program Files\\Kestrel\\Uninstall.exe\" /S"; do
    check "Apps entry ${row%%=*}" is "$(value "$key" "${row%%=*}")" "${row#*=}"
done
estimated=$(($(value "$key" EstimatedSize || true)))
actual=$(du -sk --apparent-size "$dir" | cut -f1)
check "EstimatedSize ($estimated KiB) is the folder's size ($actual KiB)" \
    test $((estimated * 10)) -ge $((actual * 9)) -a $((estimated * 10)) -le $((actual * 11))
check "the long user PATH is left as it was" is "$(value "$user_env" Path)" "$long_path"
check "the system PATH is left as it was" is "$(value "$system_env" Path)" "$system_path"

echo "== the installed programs"
for file in "$installer" "$dir/bin/kestrel.exe" "$dir/bin/kestrel-cli.exe"; do
    record=$($windres -i "$file" -O rc 2>/dev/null) || true
    check "$(basename "$file"): version record $version" \
        grep -qE "FILEVERSION ${version//./, }\$" <<<"$record"
    check "$(basename "$file"): FileVersion $version" \
        grep -qF "VALUE \"FileVersion\", \"$version\"" <<<"$record"
done
check "kestrel-cli.exe --version" is "$(w "C:\\Program Files\\Kestrel\\bin\\kestrel-cli.exe" --version)" \
    "kestrel-cli $version"
"$sim" --link "$work/com7" 2>/dev/null >/dev/null </dev/null &
pids+=($!)
for _ in $(seq 50); do [ -e "$work/com7" ] && break; sleep 0.1; done
ln -sf "$work/com7" "$WINEPREFIX/dosdevices/com7"
query=$(w "C:\\Program Files\\Kestrel\\bin\\kestrel-cli.exe" query --port COM7) || true
check "kestrel-cli.exe query reads the module on COM7" grep -qx 'local_address: 00158300A1B2' <<<"$query"
wine "C:\\Program Files\\Kestrel\\bin\\kestrel.exe" </dev/null >/dev/null 2>&1 &
window_pid=$!
pids+=("$window_pid")
dialog=0
for _ in $(seq 600); do
    xwininfo -root -children 2>/dev/null | grep -qE '"(连接串口|Connect serial port)"' && { dialog=1; break; }
    sleep 0.1
done
check "kestrel.exe opens its port dialog" is "$dialog" 1
kill "$window_pid" 2>/dev/null || true
wait "$window_pid" 2>/dev/null || true

echo "== silent install over it, adding the PATH for all users (/S /PATH=all)"
status=0
w "$installer" /S /PATH=all >/dev/null || status=$?
check "the install exits with 0" is "$status" 0
check "one Apps entry" is "$(kestrel_keys "$apps")" 1
check "one folder" is "$(ls "$pf" | grep -ci kestrel)" 1
check "the folder holds the programs and the uninstaller only" is \
    "$(cd "$dir" && find . -type f | sort | tr '\n' ' ')" "./Uninstall.exe ./bin/kestrel-cli.exe ./bin/kestrel.exe "
check "bin is on the system PATH" is "$(value "$system_env" Path)" "$system_path;$bin"

echo "== silent install of the same version again (/S)"
status=0
w "$installer" /S >/dev/null || status=$?
check "the install exits with 0" is "$status" 0
check "one Apps entry" is "$(kestrel_keys "$apps")" 1
check "bin is on the system PATH once" is "$(value "$system_env" Path)" "$system_path;$bin"
for file in "${installed[@]}"; do check "installed: ${file#"$WINEPREFIX"/}" test -f "$file"; done

echo "== silent uninstall (QuietUninstallString)"
quiet=$(value "$key" QuietUninstallString) || true
uninstaller=${quiet%\" /S}
status=0
w "${uninstaller#\"}" /S >/dev/null || status=$?
check "the uninstaller exits with 0" is "$status" 0
timeout 120 wineserver -w
for file in "${installed[@]}"; do check "removed: ${file#"$WINEPREFIX"/}" test ! -e "$file"; done
check "the folder is gone" test ! -e "$dir"
check "the Start-menu folder is gone" test ! -e "$menu"
check "no Apps entry" is "$(kestrel_keys "$apps")" 0
check "the system PATH is as before" is "$(value "$system_env" Path)" "$system_path"
check "the long user PATH is as before" is "$(value "$user_env" Path)" "$long_path"
check "the user's Kestrel.ini is kept as it was" cmp -s "$ini" "$work/ini.before"

echo "Installer: $size bytes ($((size / 1024)) KiB); silent install $install_ms ms under Wine"
echo "Installer stage: $passed passed, $failed failed, $(($(date +%s) - started)) s"
[ "$failed" -eq 0 ]
