// The Windows side of src/system, cross-built and run under Wine by
// `make test-windows` (system_windows_tests.exe): the path syntax, files by
// UTF-8 names, errors as POSIX numbers, renames and unique names. The whole
// runs of tests/windows/run_wine_tests.py check the rest against Linux.
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h:
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "system/console.h"
#include "system/files.h"
#include "system/process.h"
#include "system/processors.h"
#include "system/replacing.h"

namespace {

namespace fs = std::filesystem;

// A fresh working directory, left and removed at the end.
class WindowsSystem : public testing::Test {
 protected:
  void SetUp() override {
    previous_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("cdb2bem-system-" + std::to_string(CurrentProcessId()));
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }
  fs::path previous_;
  fs::path dir_;
};

std::string ReadAll(const std::string& name) {
  const int fd = OpenDescriptor(name, FileAccess::kRead);
  if (fd < 0) return "(cannot open)";
  std::string content;
  char buffer[256];
  for (std::ptrdiff_t n; (n = ReadDescriptor(fd, buffer, sizeof buffer)) > 0;) {
    content.append(buffer, static_cast<std::size_t>(n));
  }
  CloseDescriptor(fd);
  return content;
}

TEST(WindowsPaths, RootsDrivesAndBothSeparators) {
  struct Case {
    const char* name;
    const char* directory;
    const char* leaf;
    bool absolute;
  };
  const Case cases[] = {
      {"C:\\input.dat", "C:\\", "input.dat", true},
      {"C:/models/part1/input.dat", "C:/models/part1", "input.dat", true},
      {"\\\\server\\share\\input.dat", "\\\\server\\share", "input.dat", true},
      {"models\\part1/input.dat", "models\\part1", "input.dat", false},
      {"\\input.dat", "\\", "input.dat", false},  // the working directory's drive
      // A drive without a separator: that drive's working directory.
      {"C:input.dat", "C:", "input.dat", false},
      {"z:models\\m.cdb", "z:models", "m.cdb", false},
      {"input.dat", ".", "input.dat", false},
      {"1:input.dat", ".", "1:input.dat", false},  // no drive letter
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DirectoryOf(c.name), c.directory);
    EXPECT_EQ(LeafOf(c.name), c.leaf);
    EXPECT_EQ(IsAbsolutePath(c.name), c.absolute);
    EXPECT_EQ(HasDirectoryPart(c.name), std::string_view(c.directory) != ".");
  }
  EXPECT_EQ(JoinPath("C:", "input.dat"), "C:input.dat");
  EXPECT_EQ(JoinPath("C:\\models", "input.dat"), "C:\\models\\input.dat");
  EXPECT_EQ(JoinPath("C:\\", "input.dat"), "C:\\input.dat");
  EXPECT_EQ(JoinPath("models/", "input.dat"), "models/input.dat");
}

TEST_F(WindowsSystem, AbsolutePathsAsWindowsSpellsThem) {
  const std::string cwd = AbsolutePath("x").substr(0, AbsolutePath("x").size() - 2);
  ASSERT_GE(cwd.size(), 3u);
  EXPECT_EQ(cwd[1], ':');
  EXPECT_EQ(AbsolutePath("sub/x.dat"), cwd + "\\sub/x.dat");
  EXPECT_EQ(AbsolutePath("\\x.dat"), cwd.substr(0, 2) + "\\x.dat");
  EXPECT_EQ(AbsolutePath("D:\\y.dat"), "D:\\y.dat");
  // The working directory's own drive, named: the working directory.
  EXPECT_EQ(AbsolutePath(cwd.substr(0, 2) + "sub\\x.dat"), cwd + "\\sub\\x.dat");
  EXPECT_EQ(JoinPath(DirectoryOf(cwd.substr(0, 2) + "m.cdb"), "input.dat"),
            cwd.substr(0, 2) + "input.dat");
}

TEST_F(WindowsSystem, FilesByUtf8NamesInBinary) {
  const std::string name = "Bügel ø 模型.dat";
  const int fd = OpenDescriptor(name, FileAccess::kWriteCreate);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(WriteDescriptor(fd, "a\r\nb\n\x1a", 6), 6);  // no CR added, ^Z no end
  FileStatus status;
  ASSERT_TRUE(StatusOf(fd, status));
  EXPECT_EQ(status.kind, FileKind::kRegular);
  EXPECT_EQ(status.size, 6u);
  EXPECT_TRUE(CloseDescriptor(fd));
  EXPECT_EQ(ReadAll(name), std::string("a\r\nb\n\x1a"));

  // The name as the system lists it; a second name of the file, the same identity.
  const std::vector<std::string> entries = DirectoryEntries(".");
  EXPECT_EQ(entries, std::vector<std::string>{name});
  ASSERT_TRUE(::CreateHardLinkW(
      L"second.dat", fs::path(std::u8string(name.begin(), name.end())).c_str(), nullptr));
  FileStatus first, second;
  ASSERT_TRUE(StatusOf(name, first) && StatusOf("second.dat", second));
  EXPECT_EQ(first.identity, second.identity);
  EXPECT_NE(first.identity, FileIdentity{});

  // Reopened for writing: kept until emptied.
  const int again = OpenDescriptor(name, FileAccess::kWrite);
  ASSERT_GE(again, 0);
  EXPECT_TRUE(TruncateDescriptor(again));
  CloseDescriptor(again);
  EXPECT_EQ(ReadAll(name), "");
}

TEST_F(WindowsSystem, KindsAndFailuresAsPosixNumbers) {
  fs::create_directory("dir");
  FileStatus status;
  ASSERT_TRUE(StatusOf("dir", status));
  EXPECT_EQ(status.kind, FileKind::kDirectory);
  ASSERT_TRUE(StatusOf("NUL", status));
  EXPECT_EQ(status.kind, FileKind::kCharacterDevice);
  const struct {
    const char* name;
    FileAccess access;
    int error;
  } failures[] = {{"missing.cdb", FileAccess::kRead, ENOENT},
                  {"missing\\x.dat", FileAccess::kWriteCreate, ENOENT},
                  {"dir", FileAccess::kWrite, EISDIR}};
  for (const auto& f : failures) {
    SCOPED_TRACE(f.name);
    errno = 0;
    EXPECT_EQ(OpenDescriptor(f.name, f.access), -1);
    EXPECT_EQ(errno, f.error);
  }
  const int fd = OpenDescriptor("dir", FileAccess::kRead);  // opens; refused by its kind
  EXPECT_GE(fd, 0);
  if (fd >= 0) CloseDescriptor(fd);
  const int file = OpenDescriptor("afile", FileAccess::kWriteCreate);
  ASSERT_GE(file, 0);
  CloseDescriptor(file);
  errno = 0;
  EXPECT_FALSE(ChangeDirectory("afile"));
  EXPECT_EQ(errno, ENOTDIR);
}

TEST_F(WindowsSystem, RenamesUniqueNamesAndProcesses) {
  for (const char* name : {"a", "b"}) {
    const int fd = OpenDescriptor(name, FileAccess::kWriteCreate);
    ASSERT_GE(fd, 0);
    WriteDescriptor(fd, name, 1);
    CloseDescriptor(fd);
  }
  errno = 0;
  EXPECT_FALSE(RenameFile("a", "b", RenameMode::kNoReplace));
  EXPECT_EQ(errno, EEXIST);
  errno = 0;
  EXPECT_FALSE(RenameFile("a", "b", RenameMode::kExchange));  // the caller sets aside
  EXPECT_EQ(errno, EINVAL);
  EXPECT_TRUE(RenameFile("a", "b", RenameMode::kReplace));
  EXPECT_EQ(ReadAll("b"), "a");
  EXPECT_TRUE(RemoveFile("b"));

  std::set<std::string> names;
  for (int i = 0; i < 3; ++i) {
    std::string name = ".input.dat.XXXXXX";
    const int fd = CreateUniqueFile(name);
    ASSERT_GE(fd, 0);
    CloseDescriptor(fd);
    EXPECT_TRUE(name.starts_with(".input.dat.") && name.size() == 17u) << name;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 3u);

  EXPECT_FALSE(ProcessIsGone(CurrentProcessId()));
  EXPECT_FALSE(ComputerName().empty());
  EXPECT_GE(UsableProcessorCount(), 1);
}

// Standard error that the C runtime does not know but the process has (a
// handle it could not examine when it started): taken, not the null device.
TEST_F(WindowsSystem, StandardErrorTakenFromTheProcessHandle) {
  const int saved = ::_dup(kStandardError);
  ASSERT_GE(saved, 0);
  ::_close(kStandardError);
  const HANDLE file = ::CreateFileW(L"err.txt", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ::SetStdHandle(STD_ERROR_HANDLE, file);
  PrepareStandardStreams();
  const std::string_view line[] = {"refused\r\n"};
  const bool written = WriteStandardError(line, 1);
  ::_dup2(saved, kStandardError);
  ::_close(saved);
  ::SetStdHandle(STD_ERROR_HANDLE, reinterpret_cast<HANDLE>(::_get_osfhandle(kStandardError)));
  ::CloseHandle(file);
  EXPECT_TRUE(written);
  EXPECT_EQ(ReadAll("err.txt"), "refused\r\n");
}

}  // namespace
