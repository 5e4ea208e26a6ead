#include "system/memory.h"

// Large pages on Windows need a privilege a user seldom holds, and memory
// allocated for them apart: the tables keep the usual pages.
void AdviseLargePages(void*, std::size_t) {}
