#!/usr/bin/env bash
# Includes run only from a front end down to the core. Fails, naming each offending line, when
#   - a core file (serial/, protocol/, engine/) includes Qt, a front end (qt/, win32/, cli/), the
#     simulator, or windows.h outside its *Win32.cpp platform sources;
#   - a window (qt/, win32/) includes the command line, or the two windows include each other;
#   - the command line includes a window;
#   - the simulator includes anything of the tool (it keeps its own reading of the wire).
set -uo pipefail
cd "$(dirname "$0")/.."

bad=0
report() {
    echo "layer check: $1: $2" >&2
    bad=1
}

while IFS= read -r file; do
    folder=${file%%/*}
    while IFS= read -r line; do
        header=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]([^>"]+)[>"].*/\1/' <<<"$line")
        target=${header%%/*}
        case $folder in
        serial | protocol | engine)
            case $header in
            Q* | qt/* | win32/* | cli/* | sim/* | res/*) report "$file" "$line" ;;
            windows.h | winbase.h | shlobj.h | setupapi.h)
                [[ $file == *Win32.cpp ]] || report "$file" "$line (only *Win32.cpp may)" ;;
            esac
            ;;
        qt)
            case $target in cli | win32) report "$file" "$line" ;; esac ;;
        win32)
            case $target in cli | qt) report "$file" "$line" ;; esac
            case $header in Q*) report "$file" "$line" ;; esac ;;
        cli)
            case $target in qt | win32) report "$file" "$line" ;; esac ;;
        sim)
            case $target in serial | protocol | engine | qt | win32 | cli) report "$file" "$line" ;; esac ;;
        esac
    done < <(grep -E '^[[:space:]]*#[[:space:]]*include' "$file")
done < <(git ls-files 'serial/*' 'protocol/*' 'engine/*' 'qt/*' 'win32/*' 'cli/*' 'sim/*' |
         grep -E '\.(h|cpp)$')

if [ "$bad" -ne 0 ]; then
    echo "layer check: failed" >&2
    exit 1
fi
echo "layer check: includes run downward"
