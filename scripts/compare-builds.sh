#!/bin/bash
# Runs two builds of cdb2bem on the same models and compares what they
# leave: every file written, standard output, standard error and the exit
# status, at several thread counts and in every mode.
#
#   compare-builds.sh REFERENCE CANDIDATE [MODEL.cdb]...
#
# Without models it takes the end-to-end cases, the samples and the fuzz
# corpus of the tests. Prints one line per difference and ends with status 1
# when there is one.
set -u
reference=$(realpath "$1")
candidate=$(realpath "$2")
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -eq 0 ]; then
  set -- "$root"/tests/e2e/*/ANSYS_Model.cdb "$root"/tests/data/ansys/*.cdb \
    "$root"/tests/fuzz/corpus/fuzz_whole_run/*
fi
# Every model is named by its full path before any run; a missing one is no
# comparison.
models=()
for model in "$@"; do
  full=$(realpath -e "$model") || { echo "no such model: $model" >&2; exit 2; }
  models+=("$full")
done
set -- "${models[@]}"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
differences=0
runs=0

# run BINARY DIR MODEL ARGS...: the run's files, output and status in DIR.
# Both builds run in the same directory, so that the paths they print agree.
run() {
  local binary=$1 dir=$2 model=$3
  shift 3
  local work="$scratch/work"
  rm -rf "$dir" "$work"
  mkdir -p "$dir" "$work"
  ln -s "$(realpath "$model")" "$work/ANSYS_Model.cdb"
  (cd "$work" && "$binary" "$@" >"$dir/stdout" 2>"$dir/stderr" </dev/null)
  echo $? >"$dir/status"
  # The date a run writes is masked.
  for f in "$work"/*; do
    [ -L "$f" ] && continue
    sed -E 's/[0-9]{2}-[A-Z]{3}-[0-9]{2}/DATE/g' "$f" >"$dir/$(basename "$f").out"
  done
}

for model in "$@"; do
  for mode in "" "--check" "--skin" "--renumber" "--vtu=m.vtu"; do
    for jobs in 1 2 3; do
      run "$reference" "$scratch/a" "$model" $mode -j "$jobs"
      run "$candidate" "$scratch/b" "$model" $mode -j "$jobs"
      runs=$((runs + 1))
      if ! diff -r -q "$scratch/a" "$scratch/b" >/dev/null; then
        echo "differs: $model $mode -j $jobs"
        diff -r -q "$scratch/a" "$scratch/b" | sed 's/^/  /'
        differences=$((differences + 1))
      fi
    done
  done
done
echo "$runs runs compared, $differences differ"
[ "$differences" -eq 0 ]
