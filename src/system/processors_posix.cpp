#include <pthread.h>
#include <sched.h>

#include "system/processors.h"

int UsableProcessorCount() {
  cpu_set_t cores;
  CPU_ZERO(&cores);
  if (::sched_getaffinity(0, sizeof(cores), &cores) != 0) return 1;
  const int count = CPU_COUNT(&cores);
  return count > 0 ? count : 1;
}

void LimitThreadStacks(std::size_t bytes) {
  pthread_attr_t attributes;
  if (::pthread_getattr_default_np(&attributes) != 0) return;
  std::size_t size = 0;
  if (::pthread_attr_getstacksize(&attributes, &size) == 0 && size > bytes) {
    ::pthread_attr_setstacksize(&attributes, bytes);
    ::pthread_setattr_default_np(&attributes);
  }
  ::pthread_attr_destroy(&attributes);
}
