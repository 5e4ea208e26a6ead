#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "system/interruptions.h"

namespace {

// The temporaries that exist, for a signal handler to remove: fixed storage,
// read without taking a lock or memory.
struct Temporary {
  char path[kLongestTemporaryName + 1];
  volatile std::sig_atomic_t in_use;
};
Temporary g_temporaries[16];

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP};

// The calling thread's mask before its outermost hold, and how many holds it
// has open: holds nest (a temporary made while the outputs are put in place).
// Each thread masks its own signals; a thread started during a hold keeps
// the three blocked for good, so that only the threads that take holds
// receive them.
thread_local sigset_t g_unheld_mask;
thread_local int g_holds = 0;

extern "C" void RemoveTemporariesAndEnd(int signal_number) {
  for (Temporary& temporary : g_temporaries) {
    if (temporary.in_use != 0) ::unlink(temporary.path);
  }
  // Ends by the signal itself, so that the parent sees what ended the run
  // (a shell reports 128 + its number).
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  ::sigaction(signal_number, &default_action, nullptr);
  ::raise(signal_number);
  sigset_t own;
  sigemptyset(&own);
  sigaddset(&own, signal_number);
  ::pthread_sigmask(SIG_UNBLOCK, &own, nullptr);
  ::_exit(128 + signal_number);
}

}  // namespace

InterruptionsHeld::InterruptionsHeld() {
  sigset_t held;
  sigset_t previous;
  sigemptyset(&held);
  for (int signal_number : kInterruptions) sigaddset(&held, signal_number);
  ::pthread_sigmask(SIG_BLOCK, &held, &previous);
  if (g_holds++ == 0) g_unheld_mask = previous;
}

InterruptionsHeld::~InterruptionsHeld() {
  if (--g_holds == 0) ::pthread_sigmask(SIG_SETMASK, &g_unheld_mask, nullptr);
}

int RegisterTemporary(const std::string& name) {
  if (name.size() > kLongestTemporaryName) return -1;
  for (int i = 0; i < static_cast<int>(std::size(g_temporaries)); ++i) {
    Temporary& slot = g_temporaries[i];
    if (slot.in_use != 0) continue;
    std::memcpy(slot.path, name.c_str(), name.size() + 1);
    slot.in_use = 1;
    return i;
  }
  return -1;
}

void ForgetTemporary(int& registered) {
  if (registered < 0) return;
  InterruptionsHeld held;
  g_temporaries[registered].in_use = 0;
  registered = -1;
}

void HandleInterruptions() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
  ::sigaction(SIGXFSZ, &ignore, nullptr);

  struct sigaction remove {};
  remove.sa_handler = RemoveTemporariesAndEnd;
  sigemptyset(&remove.sa_mask);
  for (int signal_number : kInterruptions) sigaddset(&remove.sa_mask, signal_number);
  for (int signal_number : kInterruptions) {
    struct sigaction current {};
    // A signal ignored from the start (nohup, a background job) stays ignored.
    if (::sigaction(signal_number, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
      continue;
    ::sigaction(signal_number, &remove, nullptr);
  }
}
