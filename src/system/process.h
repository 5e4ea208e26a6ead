// The running process, the computer it runs on, and other processes.
#pragma once

#include <cstdint>
#include <string>

/// This process's id.
std::int64_t CurrentProcessId();

/// Whether no process `pid` runs on this computer any more.
bool ProcessIsGone(std::int64_t pid);

/// The computer's name, empty when it has none.
std::string ComputerName();
