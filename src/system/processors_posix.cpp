#include <sched.h>

#include "system/processors.h"

int UsableProcessorCount() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (::sched_getaffinity(0, sizeof(cores), &cores) != 0) return 1;
  const int count = CPU_COUNT(&cores);
  return count > 0 ? count : 1;
}
