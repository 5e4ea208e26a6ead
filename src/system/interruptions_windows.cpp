#include <windows.h>

#include <cstring>
#include <mutex>

#include "system/interruptions.h"
#include "system/wide_text_windows.h"

namespace {

// The temporaries that exist, for the console handler to remove: fixed
// storage, their names already as the system takes them.
struct Temporary {
  wchar_t path[kLongestTemporaryName + 1];
  bool in_use;
};
Temporary g_temporaries[16];

// The console handler runs on a thread of its own: it takes this lock, which
// a hold keeps, before it removes anything. Holds nest.
std::recursive_mutex g_lock;

// As Windows itself ends a console program on Ctrl-C.
constexpr UINT kInterruptedStatus = 0xC000013A;

BOOL WINAPI RemoveTemporariesAndEnd(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  g_lock.lock();  // held until the process ends: nothing is made or renamed after
  for (Temporary& temporary : g_temporaries) {
    if (temporary.in_use) ::DeleteFileW(temporary.path);
  }
  ::ExitProcess(kInterruptedStatus);
}

}  // namespace

InterruptionsHeld::InterruptionsHeld() { g_lock.lock(); }

InterruptionsHeld::~InterruptionsHeld() { g_lock.unlock(); }

int RegisterTemporary(const std::string& name) {
  const std::wstring wide = WideFromUtf8(name);
  if (wide.size() >= std::size(g_temporaries[0].path)) return -1;
  std::lock_guard<std::recursive_mutex> held(g_lock);
  for (int i = 0; i < static_cast<int>(std::size(g_temporaries)); ++i) {
    Temporary& slot = g_temporaries[i];
    if (slot.in_use) continue;
    std::memcpy(slot.path, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
    slot.in_use = true;
    return i;
  }
  return -1;
}

void ForgetTemporary(int& registered) {
  if (registered < 0) return;
  std::lock_guard<std::recursive_mutex> held(g_lock);
  g_temporaries[registered].in_use = false;
  registered = -1;
}

void HandleInterruptions() { ::SetConsoleCtrlHandler(RemoveTemporariesAndEnd, TRUE); }
