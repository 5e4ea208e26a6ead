// Memory the process holds: advice to the system on how to back it.
#pragma once

#include <cstddef>

/// Asks the system to back the whole large pages (2 MiB) that lie inside
/// the `bytes` at `memory` with large pages, so that a large table filled
/// once takes a page fault per large page instead of one per 4 KiB: fewer
/// faults, the same bytes. Pages only partly inside are left as they are,
/// so that no memory outside the block becomes resident. Advice only: where
/// the system refuses it or has no such advice, nothing changes.
void AdviseLargePages(void* memory, std::size_t bytes);
