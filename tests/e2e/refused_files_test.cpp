// Files that are not what the run needs: a model that is not a regular file,
// outputs that are FIFOs, sockets, the model or each other, a closed pipe on
// standard output, outputs behind symbolic links or in a read-only directory.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "e2e/failing_system.h"

namespace {

using failing_system::Diagnostic;
using failing_system::Entries;
using failing_system::FourNodeListings;
using failing_system::kFourNodeDir;
using failing_system::kOutputs;
using failing_system::MaskedDate;
using failing_system::RunAndCheck;
using failing_system::Start;
using failing_system::WriteEarlierOutputs;
namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

// A unix socket bound at `path`, left behind as a file of its own kind.
void MakeSocket(const fs::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address {};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.string().size(), sizeof address.sun_path);
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

// 5 and 6. A model that is not a regular file, an output that is neither a
// regular file nor a device, an output that is the model or the other
// output: refused with diagnostic 30 before anything is written.
TEST(FailingSystem, FilesThatAreNotFilesAreRefused) {
  enum Kind { kFifo, kSocket, kLink, kHardLink };
  const struct {
    const char* name;
    const char* file;  // the file made, and the one the diagnostic names
    Kind kind;
    const char* to;  // what a link points to
    bool earlier_dat = true;
  } cases[] = {
      {"model is a FIFO", "ANSYS_Model.cdb", kFifo, nullptr},
      {"model is /dev/zero", "ANSYS_Model.cdb", kLink, "/dev/zero"},
      {"input.dat is a FIFO", "input.dat", kFifo, nullptr},
      {"input.plt is a FIFO", "input.plt", kFifo, nullptr},
      {"input.plt is a socket", "input.plt", kSocket, nullptr},
      {"input.dat links to the model", "input.dat", kLink, "ANSYS_Model.cdb"},
      {"input.dat is a hard link of the model", "input.dat", kHardLink, "ANSYS_Model.cdb"},
      {"input.plt links to the model", "input.plt", kLink, "ANSYS_Model.cdb"},
      {"input.plt links to input.dat", "input.plt", kLink, "input.dat"},
      {"input.plt links to an absent input.dat", "input.plt", kLink, "input.dat", false},
  };
  const std::string model = ReadFile(kFourNodeDir / "ANSYS_Model.cdb");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    const fs::path work = fs::canonical(dir.path());
    WriteFile(work / "ANSYS_Model.cdb", model);
    WriteEarlierOutputs(work);
    if (!c.earlier_dat) fs::remove(work / "input.dat");
    const fs::path made = work / c.file;
    fs::remove(made);
    if (c.kind == kFifo) {
      ASSERT_EQ(::mkfifo(made.c_str(), 0644), 0);
    }
    if (c.kind == kSocket) MakeSocket(made);
    if (c.kind == kLink) fs::create_symlink(c.to, made);
    if (c.kind == kHardLink) fs::create_hard_link(work / c.to, made);
    RunAndCheck(work, {},
                {Diagnostic(30, "open failure",
                            c.file[0] == 'A'   ? 5
                            : c.file[6] == 'd' ? 6
                                               : 8,
                            made),
                 30, false});
    if (fs::is_regular_file(work / "ANSYS_Model.cdb")) {
      EXPECT_EQ(ReadFile(work / "ANSYS_Model.cdb"), model);
    }
  }
}

// 7. A closed pipe on standard output: the pair is in place, and the failed
// write of the closing message raises diagnostic 38.
TEST(FailingSystem, ClosedPipeOnStandardOutput) {
  ScopedTempDir dir;
  fs::copy_file(kFourNodeDir / "ANSYS_Model.cdb", dir.path() / "ANSYS_Model.cdb");
  WriteEarlierOutputs(dir.path());
  Start start;
  start.broken_pipe = true;
  RunAndCheck(dir.path(), start, {Diagnostic(38, "error during write", -1, ""), 38, true},
              FourNodeListings());
}

// Outputs replaced through the temporaries keep the permission bits of the
// earlier files and new ones get the usual bits; an output that is a symbolic
// link stays one, and the file it leads to is replaced.
TEST(FailingSystem, ReplacedOutputsKeepModeAndLinks) {
  ScopedTempDir dir;
  fs::copy_file(kFourNodeDir / "ANSYS_Model.cdb", dir.path() / "ANSYS_Model.cdb");
  fs::create_directory(dir.path() / "results");
  WriteFile(dir.path() / "input.dat", "earlier\r\n");
  fs::permissions(dir.path() / "input.dat", fs::perms::owner_read | fs::perms::owner_write);
  fs::create_symlink("results/plot.plt", dir.path() / "input.plt");  // not there yet
  const mode_t mask = ::umask(022);
  RunAndCheck(dir.path(), {}, {"", 0, true});
  ::umask(mask);
  EXPECT_EQ(MaskedDate({{"input.dat", ReadFile(dir.path() / "input.dat")},
                        {"input.plt", ReadFile(dir.path() / "results" / "plot.plt")}}),
            FourNodeListings());
  EXPECT_EQ(fs::status(dir.path() / "input.dat").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(fs::is_symlink(dir.path() / "input.plt"));
  EXPECT_EQ(fs::status(dir.path() / "results" / "plot.plt").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
  EXPECT_EQ(Entries(dir.path() / "results"), std::set<std::string>{"plot.plt"});
}

// A directory the run may not write in, holding outputs it may write: they
// are written in place, as no temporary can be made beside them. Absent
// outputs cannot be created there at all.
TEST(FailingSystem, ReadOnlyDirectoryWithWritableOutputs) {
  const bool root = ::geteuid() == 0;
  if (root && !fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "root, and no setpriv to drop it";
  for (const bool earlier : {true, false}) {
    SCOPED_TRACE(earlier ? "earlier outputs" : "no outputs");
    ScopedTempDir dir;
    const fs::path work = fs::canonical(dir.path());
    fs::copy_file(kFourNodeDir / "ANSYS_Model.cdb", work / "ANSYS_Model.cdb");
    fs::permissions(work / "ANSYS_Model.cdb", fs::perms::all);
    if (earlier) {
      WriteEarlierOutputs(work);
      for (const char* name : kOutputs) fs::permissions(work / name, fs::perms::all);
    }
    WriteFile(work / ".stdout", "");  // the console's files, made while the directory is writable
    WriteFile(work / ".stderr", "");
    // Root's directory is not writable for nobody; anyone else's is made read-only.
    fs::permissions(work, root ? fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write
                               : fs::perms::owner_read | fs::perms::owner_exec);
    Start start;
    start.as_nobody = root;
    if (earlier) {
      RunAndCheck(work, start, {"", 0, true}, FourNodeListings());
    } else {
      RunAndCheck(
          work, start,
          {Diagnostic(9, "permission to access file denied", 6, work / "input.dat"), 9, false});
    }
    fs::permissions(work, fs::perms::owner_all);
  }
}

}  // namespace
