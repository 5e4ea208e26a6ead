#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

#include "system/memory.h"

void PreparePagesForWriting(void* memory, std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
  if (bytes == 0) return;
  static const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto begin = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t first = begin & ~(page - 1);
  // Kernels before 5.14 refuse the advice (EINVAL): the writes then fault.
  ::madvise(reinterpret_cast<void*>(first), begin + bytes - first, MADV_POPULATE_WRITE);
#else
  (void)memory;
  (void)bytes;
#endif
}
