// The processors the process may run on, and the threads it starts.
#pragma once

#include <cstddef>

/// How many processors this process may run on (its affinity), at least 1.
int UsableProcessorCount();

/// Gives each thread started from now on a stack of `bytes`, or the
/// system's default when that is smaller (on Windows the program's own
/// default, 2 MiB, stays).
void LimitThreadStacks(std::size_t bytes);
