#include <windows.h>
// After windows.h, which they need:
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "system/replacing.h"
#include "system/wide_text_windows.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// A descriptor of the C runtime over `handle`, which it then owns; -1 when
// there is none to be had (the handle closed).
int DescriptorOf(HANDLE handle, int flags) {
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | flags);
  if (fd < 0) {
    ::CloseHandle(handle);
    errno = EMFILE;
  }
  return fd;
}

}  // namespace

int CreateUniqueFile(std::string& name) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  if (name.size() < 6) {
    errno = EINVAL;
    return -1;
  }
  LARGE_INTEGER counter;
  ::QueryPerformanceCounter(&counter);
  std::uint64_t state = static_cast<std::uint64_t>(counter.QuadPart) ^
                        (std::uint64_t{::GetCurrentProcessId()} << 32) ^ ::GetTickCount64();
  for (int attempt = 0; attempt < 100; ++attempt) {
    for (std::size_t k = name.size() - 6; k < name.size(); ++k) {
      // xorshift64: enough to make a clash with another run's name unlikely;
      // a clash is met by trying again.
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      name[k] = kLetters[state % (sizeof kLetters - 1)];
    }
    const HANDLE handle = ::CreateFileW(SystemPath(name).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return DescriptorOf(handle, 0);
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      SetErrnoFromWindowsError(error);
      return -1;
    }
  }
  errno = EEXIST;
  return -1;
}

int DuplicateDescriptor(int fd) {
  HANDLE copy;
  if (!::DuplicateHandle(::GetCurrentProcess(), HandleOf(fd), ::GetCurrentProcess(), &copy, 0,
                         FALSE, DUPLICATE_SAME_ACCESS)) {
    SetErrnoFromWindowsError(::GetLastError());
    return -1;
  }
  return DescriptorOf(copy, 0);
}

bool ChangeOwner(int, unsigned, unsigned) { return true; }

// Of the permission bits Windows keeps one, as the read-only attribute: a
// file without the owner's write bit gets it (its handles already open still
// write).
bool ChangeMode(int fd, unsigned mode) {
  if ((mode & 0200u) != 0) return true;
  FILE_BASIC_INFO info;
  if (!::GetFileInformationByHandleEx(HandleOf(fd), FileBasicInfo, &info, sizeof info)) {
    SetErrnoFromWindowsError(::GetLastError());
    return false;
  }
  info.FileAttributes |= FILE_ATTRIBUTE_READONLY;
  if (::SetFileInformationByHandle(HandleOf(fd), FileBasicInfo, &info, sizeof info)) return true;
  SetErrnoFromWindowsError(::GetLastError());
  return false;
}

unsigned NewFileMode() { return 0644u; }

bool RenameFile(const std::string& from, const std::string& to, RenameMode mode) {
  if (mode == RenameMode::kExchange) {
    errno = EINVAL;
    return false;
  }
  DWORD flags = MOVEFILE_WRITE_THROUGH;
  if (mode == RenameMode::kReplace) flags |= MOVEFILE_REPLACE_EXISTING;
  if (::MoveFileExW(SystemPath(from).c_str(), SystemPath(to).c_str(), flags)) return true;
  SetErrnoFromWindowsError(::GetLastError());
  return false;
}

// A read-only file is removed as on POSIX, where the directory's permission
// decides: its attribute is cleared first, and set again when it stays.
bool RemoveFile(const std::string& name) {
  const std::wstring path = SystemPath(name);
  if (::DeleteFileW(path.c_str())) return true;
  DWORD error = ::GetLastError();
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      ::SetFileAttributesW(path.c_str(), attributes & ~DWORD{FILE_ATTRIBUTE_READONLY})) {
    if (::DeleteFileW(path.c_str())) return true;
    error = ::GetLastError();
    ::SetFileAttributesW(path.c_str(), attributes);
  }
  SetErrnoFromWindowsError(error);
  return false;
}

std::vector<std::string> DirectoryEntries(const std::string& directory) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW entry;
  const HANDLE find = ::FindFirstFileW((SystemPath(directory) + L"\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring_view name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(Utf8FromWide(name));
  } while (::FindNextFileW(find, &entry));
  ::FindClose(find);
  return names;
}

DirectoryLock::DirectoryLock(const std::string& name) {
  const HANDLE handle = ::CreateFileW(SystemPath(name).c_str(), FILE_READ_ATTRIBUTES, kShareAll,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) fd_ = DescriptorOf(handle, _O_RDONLY);
}

DirectoryLock::~DirectoryLock() {
  if (mutex_ != 0) {
    const HANDLE mutex = reinterpret_cast<HANDLE>(mutex_);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
  }
  if (fd_ >= 0) ::_close(fd_);
}

DirectoryLock::Outcome DirectoryLock::Lock(const std::function<void(std::int64_t)>& waiting) {
  FileIdentity identity;
  if (mutex_ != 0 || !Identify(identity)) return Outcome::kLocked;
  // One mutex per directory, named by its identity, for every session's runs.
  wchar_t name[96];
  std::swprintf(name, std::size(name), L"Local\\cdb2bem-directory-%llx-%llx",
                static_cast<unsigned long long>(identity.device),
                static_cast<unsigned long long>(identity.inode));
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, name);
  if (mutex == nullptr) {
    SetErrnoFromWindowsError(::GetLastError());
    return Outcome::kFailed;
  }
  DWORD waited = ::WaitForSingleObject(mutex, 1000);
  if (waited == WAIT_TIMEOUT) {
    waiting(0);  // a mutex does not tell its holder
    waited = ::WaitForSingleObject(mutex, INFINITE);
  }
  // An abandoned mutex (its run was killed) is held all the same.
  if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
    SetErrnoFromWindowsError(::GetLastError());
    ::CloseHandle(mutex);
    return Outcome::kFailed;
  }
  mutex_ = reinterpret_cast<std::intptr_t>(mutex);
  return Outcome::kLocked;
}

// Each rename was written through to the disk.
bool DirectoryLock::Sync() { return true; }
