#!/usr/bin/env bash
# The program under node must behave as the native one: the golden table's
# stdout and pictures, and a saved picture that the umask, not the
# toolchain's C library, gives its permissions.
set -euo pipefail
program=$(realpath "${1:?path of build-web/bramblewisp.js}")
here=$(cd "$(dirname "$0")" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '#!/bin/sh\nexec node "%s" "$@"\n' "$program" >"$work/bramblewisp"
chmod +x "$work/bramblewisp"

mkdir "$work/run"
(cd "$work/run" && umask 027 && node "$program" -time 1 -mem 1 -cpu 1 -iter 0 >/dev/null 2>&1)
mode=$(stat -c %a "$work/run/testSystem.bmp")
[[ $mode == 640 ]] || { echo "testSystem.bmp has mode $mode under umask 027, not 640" >&2; exit 1; }

"$here/../../tests/golden/golden.sh" check "$work/bramblewisp"
