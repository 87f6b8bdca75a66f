#!/usr/bin/env bash
# Golden pictures: every option set in the table must reproduce the recorded
# SHA-256 of the saved picture and of standard output. The picture is
# testSystem.bmp, or the file that the line's -out names (BMP or PNG).
#
#   golden.sh check  BINARY [TABLE]   compare, list every difference, exit 1 on any
#   golden.sh record BINARY [TABLE]   rewrite the hashes after a deliberate change
#   golden.sh rules  BINARY [TABLE]   check again with the shipped rules file of
#                                     each line's type (systems/typeK.toml) as -rules
#
# Table lines: picture-sha256 stdout-sha256 font|nofont option...
# ("-" for a hash that is not recorded yet). font runs with the repository's font.bmp.
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;; esac

mode=${1:?check or record}
binary=$(realpath "${2:?path of the bramblewisp binary}")
here=$(cd "$(dirname "$0")" && pwd)
table=${3:-$here/pictures.txt}
font=$here/../../font.bmp
systems=$(cd "$here/../../systems" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
count=0
output=$work/table.new
: >"$output"
while IFS= read -r line; do
    if [[ -z $line || $line == \#* ]]; then
        echo "$line" >>"$output"
        continue
    fi
    read -r wantPicture wantStdout fontMode options <<<"$line"
    read -r -a words <<<"$options"
    file=testSystem.bmp
    for ((i = 0; i + 1 < ${#words[@]}; i++)); do
        if [[ ${words[i],,} == -out ]]; then
            file=${words[i + 1]}
            break
        fi
    done
    if [[ $mode == rules && ${file,,} == *.png ]]; then
        # A PNG's recipe names the rules file, so its bytes differ by design;
        # the BMP lines show the same pixels.
        echo "$line" >>"$output"
        continue
    fi
    if [[ $mode == rules ]]; then
        # The type as the program selects it: the first -type, 0 to 4, else 0.
        type=$(sed -nE 's/.*-type (-?[0-9]+).*/\1/p' <<<"$options")
        [[ $type =~ ^[0-4]$ ]] || type=0
        options="$options -rules $systems/type$type.toml"
    fi
    dir=$work/run
    rm -rf "$dir" && mkdir "$dir"
    if [[ $fontMode == font ]]; then
        cp "$font" "$dir/font.bmp"
    fi
    # shellcheck disable=SC2086 # the options are words
    (cd "$dir" && "$binary" $options >stdout 2>/dev/null) || {
        echo "FAILED TO RUN: $fontMode $options" >&2
        failures=$((failures + 1))
        continue
    }
    if [[ ! -f $dir/$file ]]; then
        echo "NO PICTURE $file: $fontMode $options" >&2
        failures=$((failures + 1))
        continue
    fi
    picture=$(sha256sum "$dir/$file" | cut -d' ' -f1)
    stdout=$(sha256sum "$dir/stdout" | cut -d' ' -f1)
    count=$((count + 1))
    if [[ $mode != record && ($picture != "$wantPicture" || $stdout != "$wantStdout") ]]; then
        echo "DIFFERS: $fontMode $options" >&2
        [[ $picture != "$wantPicture" ]] && echo "  picture $picture, recorded $wantPicture" >&2
        [[ $stdout != "$wantStdout" ]] && echo "  stdout  $stdout, recorded $wantStdout" >&2
        failures=$((failures + 1))
    fi
    echo "$picture $stdout $fontMode $options" >>"$output"
done <"$table"

if [[ $mode == record ]]; then
    cp "$output" "$table"
    echo "recorded $count option sets in $table"
    exit 0
fi
echo "$count option sets checked, $failures differ"
[[ $failures -eq 0 ]]
