#include <windows.h>

#include "system/process.h"
#include "system/wide_text_windows.h"

std::int64_t CurrentProcessId() { return ::GetCurrentProcessId(); }

bool ProcessIsGone(std::int64_t pid) {
  if (pid <= 0 || pid > 0xFFFFFFFF) return false;
  const HANDLE process =
      ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  DWORD code = 0;
  const bool ended = ::GetExitCodeProcess(process, &code) && code != STILL_ACTIVE;
  ::CloseHandle(process);
  return ended;
}

std::string ComputerName() {
  wchar_t name[256];
  DWORD size = static_cast<DWORD>(std::size(name));
  if (!::GetComputerNameExW(ComputerNameDnsHostname, name, &size)) return {};
  return Utf8FromWide(std::wstring_view(name, size));
}
