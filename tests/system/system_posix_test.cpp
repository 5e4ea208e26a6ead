// The POSIX side of src/system: what the rest of the program relies on from
// each call, checked on real files (the Windows side is checked by the Wine
// tests, whole runs against this one).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "system/files.h"
#include "system/process.h"
#include "system/replacing.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

TEST(SystemPaths, DirectoryLeafAndJoinOfPosixNames) {
  struct Case {
    const char* name;
    const char* directory;
    const char* leaf;
    bool absolute;
  };
  const Case cases[] = {
      {"input.dat", ".", "input.dat", false},
      {"a/input.dat", "a", "input.dat", false},
      {"/input.dat", "/", "input.dat", true},
      {"/a/b/", "/a/b", "", true},
      {"a\\b.dat", ".", "a\\b.dat", false},  // a backslash is a character of the name
      {"Z:m.cdb", ".", "Z:m.cdb", false},    // so is a colon: no drives
      {"", ".", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HasDirectoryPart(c.name), std::string_view(c.directory) != ".");
    EXPECT_EQ(DirectoryOf(c.name), c.directory);
    EXPECT_EQ(LeafOf(c.name), c.leaf);
    EXPECT_EQ(IsAbsolutePath(c.name), c.absolute);
  }
  EXPECT_EQ(JoinPath("a", "b"), "a/b");
  EXPECT_EQ(JoinPath("/", "b"), "/b");
  EXPECT_EQ(JoinPath("", "b"), "/b");
}

TEST(SystemFiles, KindsIdentitiesAndOpenFailuresAsPosixNumbers) {
  ScopedTempDir temp;
  WriteFile("file", "12345");
  ASSERT_EQ(::mkfifo("fifo", 0644), 0);
  fs::create_directory("dir");
  fs::create_hard_link("file", "link");
  const struct {
    const char* name;
    FileKind kind;
  } kinds[] = {{"file", FileKind::kRegular},
               {"dir", FileKind::kDirectory},
               {"fifo", FileKind::kFifo},
               {"/dev/null", FileKind::kCharacterDevice}};
  for (const auto& k : kinds) {
    SCOPED_TRACE(k.name);
    FileStatus status;
    ASSERT_TRUE(StatusOf(k.name, status));
    EXPECT_EQ(status.kind, k.kind);
  }
  FileStatus file, link;
  ASSERT_TRUE(StatusOf("file", file) && StatusOf("link", link));
  EXPECT_EQ(file.identity, link.identity);
  EXPECT_EQ(file.size, 5u);

  // A FIFO opens without waiting for a writer; a missing file fails with ENOENT.
  const int fifo = OpenDescriptor("fifo", FileAccess::kRead);
  EXPECT_GE(fifo, 0);
  if (fifo >= 0) CloseDescriptor(fifo);
  errno = 0;
  EXPECT_EQ(OpenDescriptor("missing", FileAccess::kRead), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(OpenDescriptor("missing", FileAccess::kWrite), -1);
  const int created = OpenDescriptor("new", FileAccess::kWriteCreate);
  ASSERT_GE(created, 0);
  EXPECT_EQ(WriteDescriptor(created, "abc", 3), 3);
  // Not truncated at the open: only TruncateDescriptor empties it.
  CloseDescriptor(created);
  const int again = OpenDescriptor("new", FileAccess::kWriteCreate);
  ASSERT_GE(again, 0);
  EXPECT_EQ(ReadFile("new"), "abc");
  EXPECT_TRUE(TruncateDescriptor(again));
  CloseDescriptor(again);
  EXPECT_EQ(ReadFile("new"), "");
}

TEST(SystemReplacing, RenameModesUniqueNamesAndEntries) {
  ScopedTempDir temp;
  WriteFile("a", "A");
  WriteFile("b", "B");
  errno = 0;
  EXPECT_FALSE(RenameFile("a", "b", RenameMode::kNoReplace));
  EXPECT_EQ(errno, EEXIST);
  // Exchanged where the file system can; EINVAL tells the caller to set aside.
  if (RenameFile("a", "b", RenameMode::kExchange)) {
    EXPECT_EQ(ReadFile("a"), "B");
    EXPECT_EQ(ReadFile("b"), "A");
  } else {
    EXPECT_EQ(errno, EINVAL);
  }
  EXPECT_TRUE(RenameFile("a", "c", RenameMode::kNoReplace));
  EXPECT_TRUE(RenameFile("c", "b", RenameMode::kReplace));
  EXPECT_FALSE(fs::exists("a") || fs::exists("c"));

  std::set<std::string> names;
  for (int i = 0; i < 3; ++i) {
    std::string name = ".b.XXXXXX";
    const int fd = CreateUniqueFile(name);
    ASSERT_GE(fd, 0);
    CloseDescriptor(fd);
    EXPECT_EQ(name.size(), 9u);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 3u);
  std::vector<std::string> entries = DirectoryEntries(".");
  std::sort(entries.begin(), entries.end());
  names.insert("b");
  EXPECT_EQ(entries, std::vector<std::string>(names.begin(), names.end()));
  for (const std::string& name : names) EXPECT_TRUE(RemoveFile(name)) << name;
  EXPECT_TRUE(DirectoryEntries(".").empty());
}

TEST(SystemProcess, LiveAndEndedProcesses) {
  EXPECT_EQ(CurrentProcessId(), ::getpid());
  EXPECT_FALSE(ProcessIsGone(CurrentProcessId()));
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ASSERT_GT(child, 0);
  int status;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(ProcessIsGone(child));  // reaped: no such process
  EXPECT_FALSE(ComputerName().empty());
}

}  // namespace
