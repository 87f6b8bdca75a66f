#!/usr/bin/env bash
# Names and paths that the program echoes cannot rewrite the terminal: for
# hostile option names and install paths, every message on standard error is
# one line starting with "bramblewisp: ", valid UTF-8, with no control
# character, C1 control, bidirectional control or line separator in it.
#
#   tests/e2e/hostileEchoes.sh build/bramblewisp
#   tests/e2e/hostileEchoes.sh build-web/bramblewisp.js    (under node)
set -euo pipefail
program=$(realpath "${1:?path of the program}")
run=()
[[ $program == *.js ]] && run=(node)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/run"
failures=0

# check NAME EXPECTED_LINES: the messages of the last run (in $work/err).
check() {
    local lines
    lines=$(wc -l <"$work/err")
    if [[ $lines != "$2" ]] || grep -qv '^bramblewisp: ' "$work/err" ||
        LC_ALL=C grep -qP '[\x00-\x09\x0b-\x1f\x7f]|\xc2[\x80-\x9f]|\xd8\x9c|\xe2\x80[\x8e\x8f\xa8-\xae]|\xe2\x81[\xa6-\xa9]' "$work/err" ||
        ! iconv -f UTF-8 -t UTF-8 "$work/err" >/dev/null 2>&1; then
        echo "FAIL: $1: expected $2 safe lines, got:" >&2
        od -c "$work/err" | head -20 >&2
        failures=$((failures + 1))
    fi
}

# An option name each: its warning and the missing font's.
names=(
    -x$'\n  saving... failed'
    -a$'\e]0;title\a'
    -b$'\e[2J\e[H'
    -c$'\r\t\x7f\x01'
    --d$'\e'=$'\n'
    -e$'\xe2\x80\xae'txt.exe
    -f$'\xe2\x81\xa6\xd8\x9c\xe2\x80\x8f\xe2\x80\xa8'
    -g$'\xc2\x9b'31m
    -h$'\xff\xfe\xc0\xaf\xed\xa0\x80'
    -i$'\xe2\x82'
)
for name in "${names[@]}"; do
    (cd "$work/run" && "${run[@]}" "$program" -time 1 -mem 1 -cpu 1 -iter 0 "$name" >/dev/null 2>"$work/err")
    check "option $(printf %q "$name")" 2
done

# The installed font's path: the program copied under a hostile directory,
# with a directory where the font should be.
directories=($'a\nb' $'\e]0;title\a' $'x\xe2\x80\xaey' $'\xc2\x9b2J')
for directory in "${directories[@]}"; do
    prefix=$work/$directory
    mkdir -p "$prefix/bin" "$prefix/share/bramblewisp/font.bmp"
    cp "$program" "$prefix/bin/"
    [[ $program == *.js ]] && cp "${program%.js}.wasm" "$prefix/bin/"
    (cd "$work/run" && "${run[@]}" "$prefix/bin/$(basename "$program")" -time 1 -mem 1 -cpu 1 -iter 0 \
        >/dev/null 2>"$work/err")
    check "install path $(printf %q "$directory")" 1
    grep -q 'is not a regular file' "$work/err" || { echo "FAIL: no font message" >&2; failures=$((failures + 1)); }
done

[[ $failures == 0 ]]
