#include <windows.h>

#include "system/clock.h"

CalendarDate LocalDate() {
  SYSTEMTIME local;
  ::GetLocalTime(&local);
  return {local.wYear, local.wMonth, local.wDay};
}
