// Interruptions of the run (Ctrl-C and the like) and the temporaries they
// remove before the process ends.
#pragma once

#include <cstddef>
#include <string>

/// Sets the process up for writing outputs. A write into a closed pipe or
/// beyond the file-size limit fails (and is reported) instead of ending the
/// process. An interruption removes the registered temporaries, then ends the
/// process: on POSIX SIGINT, SIGTERM and SIGHUP (unless ignored from the
/// start) end it by that signal, which a shell shows as 128 + its number; on
/// Windows Ctrl-C, Ctrl-Break, closing the console window, logging off and
/// shutting down end it with status 0xC000013A, as Windows ends a console
/// program on Ctrl-C (cmd shows -1073741510).
void HandleInterruptions();

/// Holds back interruptions while it lives, so that a temporary is never
/// made, renamed or forgotten halfway. Held ones take effect at its end.
/// A hold is the calling thread's; threads started while it lives never
/// receive interruptions (POSIX: they keep its signal mask).
class InterruptionsHeld {
 public:
  InterruptionsHeld();
  ~InterruptionsHeld();
  InterruptionsHeld(const InterruptionsHeld&) = delete;
  InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;
};

/// The longest name of a temporary that can be registered, in bytes.
inline constexpr std::size_t kLongestTemporaryName = 4095;

/// Makes the file `name` known to interruptions, which remove it; the
/// registration's number, or -1 when no more can be registered or the name
/// is longer than kLongestTemporaryName. Call it with interruptions held.
int RegisterTemporary(const std::string& name);

/// Forgets the registration `registered` and sets it to -1.
void ForgetTemporary(int& registered);
