#!/usr/bin/env bash
# The program under node keeps the native program's promises where the
# toolchain alone would not: a FIFO font.bmp is reported and skipped, never
# waited on; an ending signal during the save leaves no temporary file; under
# memory limits the run saves a picture or ends with the one out-of-memory
# line.
set -euo pipefail
program=$(realpath "${1:?path of build-web/bramblewisp.js}")
here=$(cd "$(dirname "$0")" && pwd)
font=$here/../../font.bmp
options=(-time 1 -mem 1 -cpu 1 -iter 4)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# A FIFO font in the working directory, and beside an installed copy of the
# program, where it is looked for when the working directory has none.
mkdir -p "$work/fifo" "$work/prefix/bin" "$work/prefix/share/bramblewisp" "$work/empty"
cp "$program" "${program%.js}.wasm" "$work/prefix/bin/"
mkfifo "$work/fifo/font.bmp" "$work/prefix/share/bramblewisp/font.bmp"
for case in "fifo:$program:font.bmp" "empty:$work/prefix/bin/bramblewisp.js:$work/prefix/share/bramblewisp/font.bmp"; do
    IFS=: read -r directory script shown <<<"$case"
    status=0
    (cd "$work/$directory" && timeout 60 node "$script" "${options[@]}" >/dev/null 2>"$work/err") || status=$?
    expected="bramblewisp: $shown is not a regular file; the picture gets no text"
    [[ $status == 0 && $(cat "$work/err") == "$expected" && -f $work/$directory/testSystem.bmp ]] ||
        fail "FIFO font at $shown: status $status, stderr: $(cat "$work/err")"
done

# The signal comes the moment the temporary file is made (a preloaded hook on
# node's open), so it lands inside the save on every run.
cat >"$work/signalAtSave.js" <<'EOF'
const fs = require('fs');
const open = fs.openSync;
fs.openSync = function (path, ...rest) {
  const fd = open.call(this, path, ...rest);
  if (/testSystem\.bmp\.[A-Za-z0-9]{6}$/.test(String(path))) process.kill(process.pid, process.env.SIGNAL);
  return fd;
};
EOF
for signal in INT TERM HUP; do
    rm -rf "$work/save" && mkdir "$work/save" && cp "$font" "$work/save/"
    # The subshell reports the status itself, so no notice of the signal
    # reaches the log.
    status=$(cd "$work/save" && {
        SIGNAL=SIG$signal timeout 60 node -r "$work/signalAtSave.js" "$program" "${options[@]}" >/dev/null 2>&1
        echo $?
    } 2>/dev/null)
    left=$(cd "$work/save" && ls -A | grep -v '^font.bmp$' | grep -v '^testSystem.bmp$' || true)
    [[ $status == $((128 + $(kill -l "$signal"))) && -z $left ]] ||
        fail "SIG$signal during the save: status $status, left behind: $left"
done

# Under each limit: a picture and status 0, or exactly the one line and
# status 1 with no picture. The generous ones must give the picture (the
# first two only once node runs again without its guard region).
for case in "-v 8000000:picture" "-v 1000000:picture" "-d 100000:picture" "-d 70000:either"; do
    limit=${case%:*}
    rm -rf "$work/memory" && mkdir "$work/memory" && cp "$font" "$work/memory/"
    status=0
    # shellcheck disable=SC2086 # the limit is an option and its value
    (cd "$work/memory" && ulimit $limit && timeout 300 node "$program" -time 1 -mem 1 -cpu 1 -iter 12 \
        >/dev/null 2>"$work/err") || status=$?
    if [[ $status == 0 && -f $work/memory/testSystem.bmp && ! -s $work/err ]]; then
        echo "ulimit $limit: a picture"
    elif [[ ${case#*:} == either && $status == 1 && ! -e $work/memory/testSystem.bmp &&
        $(cat "$work/err") == "bramblewisp: out of memory" ]]; then
        echo "ulimit $limit: out of memory"
    else
        fail "ulimit $limit: status $status, stderr: $(head -c 300 "$work/err")"
    fi
done

[[ $failures == 0 ]]
