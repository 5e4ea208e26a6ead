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
# with 179), never touching what it does not fill. -malloc_limit_mb=4096 lets
# one such table be allocated instead of counting it as a leak of memory; the
# memory really used stays small: AddressSanitizer marks the shadow of each
# big block (an eighth of its size, at most 512 MB, released again), which
# -rss_limit_mb=2048 leaves room for. Where the machine cannot map a table,
# allocator_may_return_null=1 lets the run end with 41 as it must, instead of
# the sanitizer stopping the process.
# Time: such a header costs the sanitizer seconds of shadow marking, hence
# -timeout=30 rather than a tighter bound; a real hang still shows.
# The run's diagnostics on standard error are closed (-close_fd_mask=2); run a
# finding's file with the target alone to see them.
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
exec "$build/$target" "$work" "$seeds" \
  -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -malloc_limit_mb=4096 \
  -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$artifacts/"
