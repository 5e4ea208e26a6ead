// Memory the process holds: its pages made ready before they are written.
#pragma once

#include <cstddef>

/// Makes the pages of the `bytes` at `memory` resident and writable in one
/// call to the system, as the first write to each would one page fault at a
/// time: a large block about to be filled costs less so. Only pages the
/// block touches become resident. Advice only: where the system has no such
/// call or refuses it, the writes fault the pages in as usual.
void PreparePagesForWriting(void* memory, std::size_t bytes);
