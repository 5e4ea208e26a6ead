#include <windows.h>

#include <bit>

#include "system/processors.h"

int UsableProcessorCount() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  // One processor group's mask: a process starts in one group.
  if (!::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) || process == 0) {
    return 1;
  }
  return std::popcount(static_cast<unsigned long long>(process));
}

void LimitThreadStacks(std::size_t) {}
