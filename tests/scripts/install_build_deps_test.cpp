// scripts/install-build-deps.sh run against a fake system: a PATH holding
// only stand-ins for the tools that are "installed", a fake id (root or
// not), dpkg-query (the "installed" packages) and apt-get (which records
// what it was asked, lists one package to install per package asked for
// when simulating, and chatters on standard error as Debian's does).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

const fs::path kScript = fs::path(CDB2BEM_SOURCE_DIR) / "scripts" / "install-build-deps.sh";

struct System {
  std::vector<std::string> commands;  // on PATH
  std::string packages;               // known to dpkg-query
  bool vtk = false;                   // the python modules (vtk, meshio) import
  bool root = false;
  bool apt = true;  // apt-get exists
  int apt_status = 0;
};

struct Outcome {
  int status;
  std::string out;
  std::string err;
  std::string apt_calls;  // one line per apt-get call
};

void WriteStub(const fs::path& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
}

Outcome RunScript(const System& system, const std::string& purposes) {
  ScopedTempDir temp;
  const fs::path bin = temp.path() / "bin";
  fs::create_directory(bin);
  for (const std::string& command : system.commands) WriteStub(bin / command, "exit 0");
  WriteStub(bin / "id", system.root ? "echo 0" : "echo 1000");
  WriteStub(bin / "dpkg-query", "for p in " + system.packages +
                                    "; do [ \"$p\" = \"$3\" ] && "
                                    "printf 'install ok installed' && exit 0; done; exit 1");
  const fs::path log = temp.path() / "apt.log";
  if (system.apt) {
    WriteStub(bin / "apt-get",
              "echo \"$*\" >>'" + log.string() +
                  "'\n"
                  "[ \"$2\" = -s ] && for p; do case $p in -* | install) ;; *) echo \"Inst $p\" ;; "
                  "esac; done\n"
                  "echo 'debconf: delaying package configuration' >&2; exit " +
                  std::to_string(system.apt_status));
  }
  WriteStub(temp.path() / "python3", system.vtk ? "exit 0" : "exit 1");

  std::string command = "/usr/bin/env -i PATH='" + bin.string() + "' PYTHON3='";
  command += (temp.path() / "python3").string() + "' /bin/sh '" + kScript.string() + "' " +
             purposes + " >'" + (temp.path() / "out").string() + "' 2>'" +
             (temp.path() / "err").string() + "'";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(temp.path() / "out"),
          ReadFile(temp.path() / "err"), fs::exists(log) ? ReadFile(log) : ""};
}

const std::vector<std::string> kBuildTools = {"cmake", "g++", "make"};
const std::vector<std::string> kAllTools = {
    "cmake", "g++",     "make",    "groff",           "strace", "dpkg-shlibdeps",
    "file",  "clang++", "lintian", "clang-format-14", "git",    "x86_64-w64-mingw32-g++-posix"};
const std::string kAllPackages = "libgtest-dev libclang-rt-14-dev wine wine64";
const std::string kUpdate = "update -qq\n";
const std::string kInstall = "install -y -qq --no-install-recommends ";
// What apt-get is asked as root: the package lists updated, the packages to
// install counted, then installed.
std::string AptCalls(const std::string& packages) {
  return kUpdate + "install -s --no-install-recommends " + packages + "\n" + kInstall + packages +
         "\n";
}
std::string Installing(int count) {
  return "installing " + std::to_string(count) +
         " packages with apt-get (this takes a minute)...\n";
}

// The line naming each package and what it is for.
const std::string kCmake = "  cmake               configures and drives the build\n";
const std::string kGxx = "  g++                 compiles the program (C++20)\n";
const std::string kMake = "  make                runs the build steps\n";
const std::string kGtest =
    "  libgtest-dev        GoogleTest, which the unit and whole-run tests are written with\n";
const std::string kVtk =
    "  python3-vtk9        VTK for python: reads input.plt and the .vtu back in three tests\n";
const std::string kMeshio = "  python3-meshio      meshio: reads the .vtu back in one test\n";
const std::string kGroff =
    "  groff-base          renders the manual page in its test and for the Windows zip\n";
const std::string kStrace =
    "  strace              injects failing system calls into whole runs in the fault tests\n";
const std::string kDpkgDev =
    "  dpkg-dev            dpkg-shlibdeps, for the package's dependencies\n";
const std::string kFile = "  file                used by CPack to find the binaries to strip\n";
const std::string kExtrasNote =
    "note: a few tests are skipped without these (make test-full installs them):\n" + kVtk +
    kMeshio + kGroff + kStrace;

TEST(InstallBuildDeps, InstallsAsRootOrPrintsTheOneLineToRun) {
  struct Case {
    const char* name;
    System system;
    std::string purposes;
    Outcome expected;
  };
  const Case cases[] = {
      {"everything there", {kAllTools, kAllPackages, true, false, true, 0}, "ci", {0, "", "", ""}},
      {"no purpose means build", {kBuildTools, "", false, false, true, 0}, "", {0, "", "", ""}},
      // make test asks for what the tests need to run, and names the extras.
      {"bare machine, user, test",
       {{"sudo"}, "", false, false, true, 0},
       "test",
       {1, "",
        "cdb2bem: missing build dependencies:\n" + kCmake + kGxx + kMake + kGtest +
            "Install them, then run the same command again:\n"
            "  sudo apt-get install --no-install-recommends cmake g++ make libgtest-dev\n",
        ""}},
      {"bare machine, user, no sudo",
       {{}, "", false, false, true, 0},
       "build",
       {1, "",
        "cdb2bem: missing build dependencies:\n" + kCmake + kGxx + kMake +
            "Install them, then run the same command again:\n"
            "  as root: apt-get install --no-install-recommends cmake g++ make\n",
        ""}},
      {"only the optional test extras missing, user",
       {kBuildTools, "libgtest-dev", false, false, true, 0},
       "test",
       {0, kExtrasNote, "", ""}},
      {"only the optional test extras missing, root: nothing installed",
       {kBuildTools, "libgtest-dev", false, true, true, 0},
       "test",
       {0, kExtrasNote, "", ""}},
      {"bare machine, root, build",
       {{}, "", false, true, true, 0},
       "build",
       {0, "installing:\n" + kCmake + kGxx + kMake + Installing(3), "",
        AptCalls("cmake g++ make")}},
      {"root, test: each package once, the extras named",
       {{"make"}, "", false, true, true, 0},
       "build test",
       {0, "installing:\n" + kCmake + kGxx + kGtest + Installing(3) + kExtrasNote, "",
        AptCalls("cmake g++ libgtest-dev")}},
      {"root, test-full: the extras too",
       {{"make"}, "", false, true, true, 0},
       "test-full",
       {0,
        "installing:\n" + kCmake + kGxx + kGtest + kVtk + kMeshio + kGroff + kStrace +
            Installing(7),
        "", AptCalls("cmake g++ libgtest-dev python3-vtk9 python3-meshio groff-base strace")}},
      {"user, test-full: the extras are required",
       {{"cmake", "g++", "make", "sudo"}, "libgtest-dev", false, false, true, 0},
       "test-full",
       {1, "",
        "cdb2bem: missing build dependencies:\n" + kVtk + kMeshio + kGroff + kStrace +
            "Install them, then run the same command again:\n"
            "  sudo apt-get install --no-install-recommends python3-vtk9 python3-meshio groff-base strace\n",
        ""}},
      {"root, ci: everything required",
       {kBuildTools, "", false, true, true, 0},
       "ci",
       {0,
        "installing:\n" + kGtest + kVtk + kMeshio + kGroff + kStrace + kDpkgDev + kFile +
            "  clang               the compiler of the fuzz targets\n"
            "  libclang-rt-14-dev  libFuzzer and the sanitizer runtimes for clang\n"
            "  g++-mingw-w64-x86-64-posix cross-compiles cdb2bem.exe for Windows\n"
            "  wine                runs cdb2bem.exe in its tests\n"
            "  wine64              Wine's 64-bit loader, for the 64-bit cdb2bem.exe\n"
            "  lintian             checks the package\n"
            "  clang-format-14     checks the layout of the C++ sources\n"
            "  git                 lists the tracked sources\n" +
            Installing(15),
        "",
        AptCalls("libgtest-dev python3-vtk9 python3-meshio groff-base strace dpkg-dev file clang "
                 "libclang-rt-14-dev g++-mingw-w64-x86-64-posix wine wine64 lintian "
                 "clang-format-14 git")}},
      {"user, windows: the cross compiler and the 64-bit Wine",
       {{"cmake", "g++", "make", "sudo"}, "wine", false, false, true, 0},
       "windows",
       {1, "",
        "cdb2bem: missing build dependencies:\n"
        "  g++-mingw-w64-x86-64-posix cross-compiles cdb2bem.exe for Windows\n"
        "  wine64              Wine's 64-bit loader, for the 64-bit cdb2bem.exe\n" +
            kGtest + kGroff +
            "Install them, then run the same command again:\n"
            "  sudo apt-get install --no-install-recommends g++-mingw-w64-x86-64-posix wine64 "
            "libgtest-dev groff-base\n",
        ""}},
      // Its chatter is shown only then.
      {"root, apt-get fails",
       {{}, "", false, true, true, 100},
       "build",
       {100, "installing:\n" + kCmake + kGxx + kMake, "debconf: delaying package configuration\n",
        kUpdate}},
      {"user without apt-get",
       {{}, "", false, false, false, 0},
       "package",
       {1, "",
        "cdb2bem: missing build dependencies:\n" + kCmake + kGxx + kMake + kDpkgDev + kFile +
            "Install them with your system's package manager (Debian names given).\n",
        ""}},
      {"unknown purpose",
       {kAllTools, kAllPackages, true, false, true, 0},
       "tests",
       {2, "",
        "install-build-deps.sh: unknown purpose 'tests' (build, test, test-full, package, fuzz, "
        "windows, ci)\n",
        ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome got = RunScript(c.system, c.purposes);
    EXPECT_EQ(got.status, c.expected.status);
    EXPECT_EQ(got.out, c.expected.out);
    EXPECT_EQ(got.err, c.expected.err);
    EXPECT_EQ(got.apt_calls, c.expected.apt_calls);
  }
}

}  // namespace
