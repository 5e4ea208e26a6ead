#include "system/memory.h"

// Committed memory is faulted in as it is written; no call makes it resident
// ahead for writing.
void PreparePagesForWriting(void*, std::size_t) {}
