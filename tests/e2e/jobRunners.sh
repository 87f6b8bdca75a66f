#!/usr/bin/env bash
# The job runners' examples of docs/exploring.md: GNU parallel running the
# chunks of a range of seeds as separate processes (standing in for
# machines), and the Slurm array script run task by task, each give the very
# pictures that one batch of the whole range gives. Both with -iter 2
# instead of 12, to be quick.
#   jobRunners.sh BINARY    status 77 (skipped) without GNU parallel
set -euo pipefail
case ${1:-} in -h | --help) sed -n '2,/^set -euo/{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;; esac
binary=$(realpath "${1:?path of the bramblewisp binary}")
docs=$(cd "$(dirname "$0")/../../docs" && pwd)
command -v parallel >/dev/null || { echo "jobRunners.sh: no GNU parallel, skipped"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/batch" "$work/parallel" "$work/slurm"
ln -s "$binary" "$work/bin/bramblewisp"
export PATH="$work/bin:$PATH"

line=$(grep -m1 '^seq 100 16 148 | parallel -j 2 ' "$docs/exploring.md")
(cd "$work/parallel" && bash -c "${line/-iter 12/-iter 2}" >/dev/null 2>&1)
sed 's/-iter 12/-iter 2/' "$docs/seeds-array.sh" >"$work/array.sh"
for task in 0 1 2 3; do
    (cd "$work/slurm" && SLURM_ARRAY_TASK_ID=$task bash "$work/array.sh" >/dev/null 2>&1)
done
(cd "$work/batch" &&
    bramblewisp -time 1 -mem 1 -cpu 1 -iter 2 -seed 100 -count 64 -out 'tree-%d.png' >/dev/null 2>&1)

status=0
for runner in parallel slurm; do
    pictures=$(cd "$work/$runner" && ls tree-*.png | sort)
    if [[ $pictures != "$(cd "$work/batch" && ls | sort)" ]]; then
        echo "jobRunners.sh: $runner drew other files than the batch" >&2
        status=1
    fi
    for picture in $pictures; do
        cmp -s "$work/batch/$picture" "$work/$runner/$picture" ||
            { echo "jobRunners.sh: $runner's $picture differs from the batch's" >&2; status=1; }
    done
done
[[ $(cd "$work/slurm" && ls sheet-*.png | xargs) == "sheet-100.png sheet-116.png sheet-132.png sheet-148.png" ]] ||
    { echo "jobRunners.sh: the array's tasks wrote other sheets" >&2; status=1; }
[[ $status -ne 0 ]] || echo "jobRunners.sh: GNU parallel's and the Slurm array's chunks equal one batch of 64"
exit $status
