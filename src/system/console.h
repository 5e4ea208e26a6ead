// The process's standard streams and command line.
#pragma once

#include <cstddef>
#include <string_view>

inline constexpr int kStandardInput = 0;
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

/// Readies the standard streams before the run opens any file: each that is
/// closed is opened on the null device, so that no file of the run takes its
/// number; on Windows all three pass bytes unchanged (no CR LF added) and
/// the console shows UTF-8.
void PrepareStandardStreams();

/// The `argc` arguments of the command line as UTF-8, ended by a null
/// pointer: on POSIX `argv` itself; on Windows the system's UTF-16 command
/// line converted, whatever the code page, kept until the process ends.
char** CommandLineArguments(int argc, char* argv[]);

/// Writes `count` pieces of text to standard error, unbuffered and without
/// taking memory; false when not all of it could be written.
bool WriteStandardError(const std::string_view* pieces, std::size_t count);

/// Whether the process is the only one in its console window: on Windows, a
/// window opened for it alone (Explorer, a double-click, a model dropped on
/// the program), which closes as soon as the process ends. Never on POSIX.
bool AloneInItsConsole();

/// Writes `prompt` to standard output and waits until a line ends on
/// standard input (Enter pressed) or standard input ends.
void WaitForEnter(std::string_view prompt);
