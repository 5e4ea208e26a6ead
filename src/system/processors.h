// The processors the process may run on.
#pragma once

/// How many processors this process may run on (its affinity), at least 1.
int UsableProcessorCount();
