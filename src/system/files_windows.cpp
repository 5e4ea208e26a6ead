// Files through Windows calls: UTF-8 names passed on as UTF-16, long paths
// through the "\\?\" prefix, descriptors of the C runtime over the system's
// handles, always in binary (the program writes its own CR LF).
#include <direct.h>
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <string_view>
#include <vector>

#include "system/files.h"
#include "system/wide_text_windows.h"

namespace {

// Beyond this length a full path needs the "\\?\" prefix.
constexpr std::size_t kShortPathLimit = MAX_PATH - 12;

}  // namespace

std::wstring SystemPath(const std::string& name) {
  std::wstring wide = WideFromUtf8(name);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return wide;
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return wide;
  full.resize(length);
  if (full.size() < kShortPathLimit || full.starts_with(L"\\\\?\\") ||
      full.starts_with(L"\\\\.\\")) {
    return wide;
  }
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// FILETIME counts 100 ns from 1601; POSIX times count from 1970.
constexpr std::int64_t kUnixEpochInFileTime = 116444736000000000;

// Whether another program holds `path` open without letting it be renamed
// or removed: an output so held could be written but never put in place.
bool HeldWithoutDeleteSharing(const std::wstring& path) {
  const HANDLE probe =
      ::CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe != INVALID_HANDLE_VALUE) {
    ::CloseHandle(probe);
    return false;
  }
  return ::GetLastError() == ERROR_SHARING_VIOLATION;
}

bool StatusOfHandle(HANDLE handle, FileStatus& status) {
  status = {};
  switch (::GetFileType(handle)) {
    case FILE_TYPE_CHAR:
      status.kind = FileKind::kCharacterDevice;
      status.mode = 0666;
      return true;
    case FILE_TYPE_PIPE:
      status.kind = FileKind::kFifo;
      status.mode = 0600;
      return true;
    case FILE_TYPE_DISK:
      break;
    default:
      if (::GetLastError() != NO_ERROR) {
        SetErrnoFromWindowsError(::GetLastError());
        return false;
      }
      return true;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) {
    SetErrnoFromWindowsError(::GetLastError());
    return false;
  }
  const bool directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  status.kind = directory ? FileKind::kDirectory : FileKind::kRegular;
  status.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  const std::int64_t ticks =
      static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                info.ftLastWriteTime.dwLowDateTime);
  status.modified_seconds = (ticks - kUnixEpochInFileTime) / 10000000;
  status.modified_nanoseconds = (ticks - kUnixEpochInFileTime) % 10000000 * 100;
  status.identity = {info.dwVolumeSerialNumber,
                     (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
  const bool read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  status.mode = (read_only ? 0444u : 0644u) | (directory ? 0111u : 0u);
  return true;
}

}  // namespace

int OpenDescriptor(const std::string& name, FileAccess access) {
  const std::wstring path = SystemPath(name);
  const DWORD desired = access == FileAccess::kRead ? GENERIC_READ : GENERIC_WRITE;
  const DWORD disposition = access == FileAccess::kWriteCreate ? OPEN_ALWAYS : OPEN_EXISTING;
  // A directory opens for reading, as on POSIX, and is refused by its kind.
  const DWORD flags =
      FILE_ATTRIBUTE_NORMAL | (access == FileAccess::kRead ? FILE_FLAG_BACKUP_SEMANTICS : 0);
  const HANDLE handle =
      ::CreateFileW(path.c_str(), desired, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, disposition, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (error == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      errno = EISDIR;
    } else {
      SetErrnoFromWindowsError(error);
    }
    return -1;
  }
  if (access != FileAccess::kRead && HeldWithoutDeleteSharing(path)) {
    ::CloseHandle(handle);
    errno = EBUSY;
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   _O_BINARY | (access == FileAccess::kRead ? _O_RDONLY : 0));
  if (fd < 0) {
    ::CloseHandle(handle);
    errno = EMFILE;
  }
  return fd;
}

bool CloseDescriptor(int fd) { return ::_close(fd) == 0; }

std::ptrdiff_t ReadDescriptor(int fd, void* data, std::size_t size) {
  DWORD read = 0;
  const DWORD most = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
  if (!::ReadFile(HandleOf(fd), data, most, &read, nullptr)) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
    SetErrnoFromWindowsError(error);
    return -1;
  }
  return static_cast<std::ptrdiff_t>(read);
}

// ReadFile at an offset moves the file pointer of a handle not opened for
// overlapped reading, under the reads of the other thread.
std::ptrdiff_t ReadDescriptorAt(int, void*, std::size_t, std::uint64_t) {
  errno = ENOSYS;
  return -1;
}

std::ptrdiff_t WriteDescriptor(int fd, const void* data, std::size_t size) {
  DWORD written = 0;
  const DWORD most = static_cast<DWORD>(std::min<std::size_t>(size, std::size_t{1} << 30));
  if (!::WriteFile(HandleOf(fd), data, most, &written, nullptr)) {
    SetErrnoFromWindowsError(::GetLastError());
    return -1;
  }
  if (written == 0) {
    errno = EIO;
    return -1;
  }
  return static_cast<std::ptrdiff_t>(written);
}

bool SeekDescriptor(int fd, std::uint64_t offset) {
  LARGE_INTEGER position;
  position.QuadPart = static_cast<LONGLONG>(offset);
  if (::SetFilePointerEx(HandleOf(fd), position, nullptr, FILE_BEGIN)) return true;
  SetErrnoFromWindowsError(::GetLastError());
  return false;
}

// Windows reads ahead by itself.
void ExpectSequentialReading(int) {}

bool TruncateDescriptor(int fd) {
  LARGE_INTEGER start{};
  const HANDLE handle = HandleOf(fd);
  if (::SetFilePointerEx(handle, start, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle)) return true;
  SetErrnoFromWindowsError(::GetLastError());
  return false;
}

// Windows writes back by itself; the sync waits for the rest.
void BeginWriteBack(int, std::uint64_t, std::uint64_t) {}

bool SyncDescriptor(int fd) {
  if (::FlushFileBuffers(HandleOf(fd))) return true;
  SetErrnoFromWindowsError(::GetLastError());
  return false;
}

// Windows handles opened here never are non-blocking.
bool MakeDescriptorBlocking(int) { return true; }

bool StatusOf(int fd, FileStatus& status) {
  const HANDLE handle = HandleOf(fd);
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return false;
  }
  return StatusOfHandle(handle, status);
}

bool StatusOf(const std::string& name, FileStatus& status) {
  const std::wstring path = SystemPath(name);
  const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    SetErrnoFromWindowsError(::GetLastError());
    return false;
  }
  const bool known = StatusOfHandle(handle, status);
  ::CloseHandle(handle);
  return known;
}

// A link on Windows is opened through as a whole; its name is replaced.
bool ReadSymbolicLink(const std::string&, std::string&) { return false; }

bool IsTerminal(int fd) {
  DWORD mode;
  return ::GetConsoleMode(HandleOf(fd), &mode) != 0;
}

bool ListDirectory(const std::string& name, std::vector<std::string>& entries) {
  WIN32_FIND_DATAW found;
  const std::wstring pattern = SystemPath(JoinPath(name, "*"));
  const HANDLE search = ::FindFirstFileW(pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    SetErrnoFromWindowsError(::GetLastError());
    return false;
  }
  do {
    const std::wstring_view leaf = found.cFileName;
    if (leaf != L"." && leaf != L"..") entries.push_back(Utf8FromWide(leaf));
  } while (::FindNextFileW(search, &found));
  const DWORD error = ::GetLastError();
  ::FindClose(search);
  if (error == ERROR_NO_MORE_FILES) return true;
  SetErrnoFromWindowsError(error);
  return false;
}

bool ChangeDirectory(const std::string& name) {
  const std::wstring wide = WideFromUtf8(name);
  if (::_wchdir(wide.c_str()) == 0) return true;
  // A file that is there says so, as on POSIX.
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    errno = ENOTDIR;
  }
  return false;
}

namespace {

// "Z:models\m.cdb": a drive without a separator after it, which names the
// working directory that the process keeps for that drive.
bool IsDriveRelative(std::string_view name) {
  return name.size() >= 2 && name[1] == ':' &&
         ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) &&
         (name.size() == 2 || !IsPathSeparator(name[2]));
}

// The system's full path of `name`, or `name` itself when it has none.
std::string FullPath(std::string_view name) {
  const std::wstring wide = WideFromUtf8(std::string(name));
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return std::string(name);
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return std::string(name);
  full.resize(length);
  return Utf8FromWide(full);
}

}  // namespace

std::string AbsolutePath(std::string_view name) {
  if (IsAbsolutePath(name)) return std::string(name);
  // The working directory of another drive is the system's to know.
  if (IsDriveRelative(name)) return FullPath(name);
  const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
  std::wstring cwd(size, L'\0');
  const DWORD length = ::GetCurrentDirectoryW(size, cwd.data());
  if (length == 0 || length >= size) return std::string(name);
  cwd.resize(length);
  std::string directory = Utf8FromWide(cwd);
  // "\models\x" leaves out only the drive of the working directory.
  if (!name.empty() && IsPathSeparator(name.front()) && directory.size() >= 2 &&
      directory[1] == ':') {
    return directory.substr(0, 2) + std::string(name);
  }
  return JoinPath(directory, name);
}

bool IsAbsolutePath(std::string_view name) {
  if (name.size() >= 2 && IsPathSeparator(name[0]) && IsPathSeparator(name[1])) return true;
  return name.size() >= 3 && name[1] == ':' && IsPathSeparator(name[2]);
}

bool IsPathSeparator(char c) { return c == '/' || c == '\\'; }

bool HasDirectoryPart(std::string_view name) {
  return IsDriveRelative(name) || name.find_first_of("/\\") != std::string_view::npos;
}

std::string DirectoryOf(const std::string& name) {
  const std::size_t slash = name.find_last_of("/\\");
  if (slash == std::string::npos) return IsDriveRelative(name) ? name.substr(0, 2) : ".";
  // A root keeps its separator: "\" and "C:\".
  if (slash == 0 || (slash == 2 && name[1] == ':')) return name.substr(0, slash + 1);
  return name.substr(0, slash);
}

std::string LeafOf(const std::string& name) {
  const std::size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) return name.substr(slash + 1);
  return IsDriveRelative(name) ? name.substr(2) : name;
}

std::string JoinPath(const std::string& directory, std::string_view leaf) {
  std::string path = directory;
  // "Z:" and a leaf name the leaf in that drive's working directory.
  const bool drive_only = path.size() == 2 && IsDriveRelative(path);
  if (!drive_only && (path.empty() || !IsPathSeparator(path.back()))) path += '\\';
  path += leaf;
  return path;
}
