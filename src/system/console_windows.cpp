#include <windows.h>
// After windows.h, which it needs:
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "system/console.h"
#include "system/wide_text_windows.h"

namespace {

// A descriptor over a copy of the process's standard handle `which`, when
// it has one that names an open file, pipe or console; -1 otherwise.
int DescriptorOfStandardHandle(DWORD which, int flags) {
  const HANDLE handle = ::GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return -1;
  ::SetLastError(NO_ERROR);
  if (::GetFileType(handle) == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) return -1;
  HANDLE copy;
  if (!::DuplicateHandle(::GetCurrentProcess(), handle, ::GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(copy), flags);
  if (fd < 0) ::CloseHandle(copy);
  return fd;
}

}  // namespace

void PrepareStandardStreams() {
  constexpr DWORD kWhich[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (int fd = kStandardInput; fd <= kStandardError; ++fd) {
    if (::_get_osfhandle(fd) == -1 || ::_get_osfhandle(fd) == -2) {
      // The C runtime found no stream here. The process may have a standard
      // handle all the same (one the runtime could not examine when it
      // started): that is taken before the null device, so that no line
      // meant for it is lost.
      const int flags = fd == kStandardInput ? _O_RDONLY : _O_WRONLY;
      int opened = DescriptorOfStandardHandle(kWhich[fd], flags);
      if (opened < 0) opened = ::_open("NUL", flags);
      if (opened >= 0 && opened != fd) {
        ::_dup2(opened, fd);
        ::_close(opened);
      }
    }
    // Records end in the CR LF the program writes, and in nothing more.
    ::_setmode(fd, _O_BINARY);
  }
  ::SetConsoleOutputCP(CP_UTF8);
}

char** CommandLineArguments(int argc, char* argv[]) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return argv;
  if (count != argc) {
    ::LocalFree(wide);
    return argv;
  }
  // Made once, for the whole run, as argv itself is.
  static std::vector<std::string> arguments;
  static std::vector<char*> pointers;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  ::LocalFree(wide);
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  pointers.push_back(nullptr);
  return pointers.data();
}

bool WriteStandardError(const std::string_view* pieces, std::size_t count) {
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(kStandardError));
  // Gathered on the stack, so that the line arrives in one write.
  char line[1024];
  std::size_t used = 0;
  bool fits = true;
  for (std::size_t i = 0; i < count && fits; ++i) {
    fits = used + pieces[i].size() <= sizeof line;
    if (fits && !pieces[i].empty()) {
      std::memcpy(line + used, pieces[i].data(), pieces[i].size());
      used += pieces[i].size();
    }
  }
  auto write_all = [&](const char* p, std::size_t left) {
    while (left > 0) {
      DWORD written = 0;
      if (!::WriteFile(handle, p, static_cast<DWORD>(left), &written, nullptr) || written == 0) {
        return false;
      }
      p += written;
      left -= written;
    }
    return true;
  };
  if (fits) return write_all(line, used);
  for (std::size_t i = 0; i < count; ++i) {
    if (!write_all(pieces[i].data(), pieces[i].size())) return false;
  }
  return true;
}

bool AloneInItsConsole() {
  DWORD processes[2];
  return ::GetConsoleProcessList(processes, 2) == 1;
}

void WaitForEnter(std::string_view prompt) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  for (std::size_t done = 0; done < prompt.size();) {
    DWORD written = 0;
    if (!::WriteFile(out, prompt.data() + done, static_cast<DWORD>(prompt.size() - done), &written,
                     nullptr) ||
        written == 0) {
      break;
    }
    done += written;
  }
  // A console reads a whole line when Enter is pressed; a pipe or file, a
  // byte at a time up to its line end.
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  char c = '\0';
  DWORD read = 0;
  while (c != '\n' && c != '\r' && ::ReadFile(in, &c, 1, &read, nullptr) && read == 1) {
  }
}
