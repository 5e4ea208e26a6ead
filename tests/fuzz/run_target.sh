#!/usr/bin/env bash
# Runs one fuzz target for a while: run_target.sh <build dir> <target> <seconds>
# New inputs go to <build dir>/corpus/<target> (the seeds in the repo stay as
# they are), findings to <build dir>/artifacts/<target>/. Paths are absolute
# because the whole-run target works in a directory of its own.
set -euo pipefail
build=$(realpath "$1")
target=$2
seconds=$3
seeds=$(realpath "$(dirname "$0")")/corpus/$target
work=$build/corpus/$target
artifacts=$build/artifacts/$target
mkdir -p "$work" "$artifacts"

# Memory: a model header may claim up to 2147483647 nodes or elements, and the
# run then allocates its tables lazily, up to 4294967295 bytes each (more ends
# with 179). The whole-run harness runs only models whose counts stay within
# its cap (see fuzz_whole_run.cpp; the hostile-header tests run the largest
# tables), so its tables stay small. The limits below remain as guards:
# -malloc_limit_mb=4096 and -rss_limit_mb=2048 leave room for a table of the
# most bytes allowed, and allocator_may_return_null=1 lets a run that cannot
# map one end with 41 as it must, instead of the sanitizer stopping the
# process. A real hang still shows within -timeout=30.
# The run's diagnostics on standard error are closed (-close_fd_mask=2); run a
# finding's file with the target alone to see them.
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/$target" "$work" "$seeds" \
  -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -malloc_limit_mb=4096 \
  -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$artifacts/"
