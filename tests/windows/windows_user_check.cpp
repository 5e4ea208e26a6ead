// What a Windows user meets beyond the Linux program's behaviour, in
// system_windows_tests.exe under Wine: files another program holds open, and
// the console window that Explorer opens for the program alone (read-only
// outputs are compared with Linux by run_wine_tests.py). The harness gives the four-node example
// model and the program in CDB2BEM_TEST_MODEL and CDB2BEM_EXE.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "driver/translation_run.h"
#include "system/files.h"
#include "system/process.h"
#include "system/replacing.h"

namespace {

namespace fs = std::filesystem;

// A fresh working directory holding the four-node model, left and removed at the end.
class WindowsUser : public testing::Test {
 protected:
  void SetUp() override {
    const char* model = std::getenv("CDB2BEM_TEST_MODEL");
    ASSERT_NE(model, nullptr) << "CDB2BEM_TEST_MODEL names no model";
    previous_ = fs::current_path();
    dir_ = fs::temp_directory_path() / ("cdb2bem-user-" + std::to_string(CurrentProcessId()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    fs::copy_file(model, "ANSYS_Model.cdb");
  }
  void TearDown() override {
    fs::current_path(previous_);
    fs::remove_all(dir_);
  }
  fs::path previous_;
  fs::path dir_;
};

std::string Read(const fs::path& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Write(const fs::path& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

std::vector<std::string> Entries() {
  std::vector<std::string> names = DirectoryEntries(".");
  std::sort(names.begin(), names.end());
  return names;
}

// A run in process, its standard error caught.
struct InProcessRun {
  int status;
  std::string err;
};

InProcessRun RunHere() {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = RunTranslation();
  testing::internal::GetCapturedStdout();
  // The capture reads its file back in text mode: CR LF comes back as LF.
  return {status, testing::internal::GetCapturedStderr()};
}

// The model or an output held open by another program with each share mode:
// refused by name before anything is written when the run could not read
// the model or put the output in place, translated otherwise.
TEST_F(WindowsUser, FilesHeldByAnotherProgram) {
  constexpr DWORD R = FILE_SHARE_READ, W = FILE_SHARE_WRITE, D = FILE_SHARE_DELETE;
  const DWORD modes[] = {0, R, W, D, R | W, R | D, W | D, R | W | D};
  for (const char* held : {"ANSYS_Model.cdb", "input.dat", "input.plt"}) {
    const bool model = std::string_view(held) == "ANSYS_Model.cdb";
    for (const DWORD mode : modes) {
      SCOPED_TRACE(std::string(held) + ", share mode " + std::to_string(mode));
      Write("input.dat", "earlier input.dat\r\n");
      Write("input.plt", "earlier input.plt\r\n");
      const std::vector<std::string> before = Entries();
      // As a viewer or a spreadsheet holds it: read and write access.
      const HANDLE holder = ::CreateFileW(fs::path(held).c_str(), GENERIC_READ | GENERIC_WRITE,
                                          mode, nullptr, OPEN_EXISTING, 0, nullptr);
      ASSERT_NE(holder, INVALID_HANDLE_VALUE);
      const bool in_use = model ? (mode & R) == 0 : (mode & (W | D)) != (W | D);
      const InProcessRun run = RunHere();
      ::CloseHandle(holder);
      if (in_use) {
        EXPECT_EQ(run.status, 4);
        EXPECT_EQ(run.err,
                  std::string(held) + " is in use by another program; close it and run again\n");
        EXPECT_EQ(Read("input.dat"), "earlier input.dat\r\n");
        EXPECT_EQ(Read("input.plt"), "earlier input.plt\r\n");
        EXPECT_EQ(Entries(), before);
      } else {
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Read("input.plt").substr(0, 10), " TITLE = \"");
      }
    }
  }
}

// The program started as Explorer starts it, alone in a console of its own,
// with its standard streams on pipes; or without a console at all.
struct ConsoleRun {
  bool waited = false;  // the prompt came, and the process still ran
  DWORD status = 0;
  std::string out;
  std::string err;
};

HANDLE InheritablePipe(HANDLE& own_end, bool child_reads) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!::CreatePipe(&read, &write, &inherit, 0)) return nullptr;
  own_end = child_reads ? write : read;
  ::SetHandleInformation(own_end, HANDLE_FLAG_INHERIT, 0);
  return child_reads ? read : write;
}

ConsoleRun StartInConsole(const std::wstring& arguments, DWORD flags) {
  constexpr std::string_view kPrompt = "Press Enter to close this window.";
  const char* exe = std::getenv("CDB2BEM_EXE");
  ConsoleRun result;
  if (exe == nullptr) {
    ADD_FAILURE() << "CDB2BEM_EXE names no program";
    return result;
  }
  HANDLE in_write = nullptr, out_read = nullptr, err_read = nullptr;
  STARTUPINFOW start = {};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdInput = InheritablePipe(in_write, true);
  start.hStdOutput = InheritablePipe(out_read, false);
  start.hStdError = InheritablePipe(err_read, false);
  std::wstring command = L"\"" + fs::path(exe).wstring() + L"\" " + arguments;
  PROCESS_INFORMATION process;
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                        &start, &process)) {
    ADD_FAILURE() << "cannot start " << exe << ": error " << ::GetLastError();
    return result;
  }
  for (HANDLE child_end : {start.hStdInput, start.hStdOutput, start.hStdError}) {
    ::CloseHandle(child_end);
  }
  // Standard output up to the prompt, or to its end when none comes.
  char buffer[512];
  DWORD got = 0;
  while (result.out.find(kPrompt) == std::string::npos &&
         ::ReadFile(out_read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    result.out.append(buffer, got);
  }
  result.waited = result.out.find(kPrompt) != std::string::npos &&
                  ::WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
  DWORD written = 0;
  ::WriteFile(in_write, "\r\n", 2, &written, nullptr);  // Enter
  ::CloseHandle(in_write);
  while (::ReadFile(out_read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    result.out.append(buffer, got);
  }
  while (::ReadFile(err_read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    result.err.append(buffer, got);
  }
  // A run that hangs fails here rather than holding up the suite.
  EXPECT_EQ(::WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  ::GetExitCodeProcess(process.hProcess, &result.status);
  for (HANDLE handle : {out_read, err_read, process.hProcess, process.hThread}) {
    ::CloseHandle(handle);
  }
  return result;
}

TEST_F(WindowsUser, AloneInItsConsoleItWaitsForEnter) {
  const std::string done = "  Data Translation from ANSYS to BEM is done!\r\n";
  const std::string prompt = "\r\nPress Enter to close this window.";
  const std::string usage =
      "\r\ncdb2bem translates an ANSYS model (.cdb) into input.dat and input.plt beside it.\r\n"
      "Drop a .cdb file on cdb2bem.exe, or open a console in the model's folder and\r\n"
      "run: cdb2bem model.cdb\r\n";
  const std::string missing = "runerr: severe (29): file not found, unit 5, file " +
                              AbsolutePath("empty\\ANSYS_Model.cdb") + "\r\n";
  fs::create_directory("empty");
  const std::wstring model = fs::absolute("ANSYS_Model.cdb").wstring();
  const struct {
    const char* name;
    std::wstring arguments;
    DWORD flags;
    bool waits;
    DWORD status;
    std::string out;
    std::string err;
  } cases[] = {
      {"a model dropped on it", L"\"" + model + L"\"", CREATE_NEW_CONSOLE, true, 0, done + prompt,
       ""},
      {"double-clicked where there is no model", L"", CREATE_NEW_CONSOLE, true, 29, usage + prompt,
       missing},
      {"no model named, -C given", L"-C empty", CREATE_NEW_CONSOLE, true, 29, prompt, missing},
      {"a refused command line", L"--foo", CREATE_NEW_CONSOLE, true, 2, prompt,
       "cdb2bem: unrecognized option '--foo'\nTry 'cdb2bem --help' for more information.\n"},
      {"no console: a service, a scheduled task", L"\"" + model + L"\"", DETACHED_PROCESS, false, 0,
       done, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Double-clicked, the program starts in its own folder: here, "empty".
    const fs::path here = fs::current_path();
    if (c.arguments.empty()) fs::current_path("empty");
    const ConsoleRun run = StartInConsole(c.arguments, c.flags);
    fs::current_path(here);
    EXPECT_EQ(run.waited, c.waits);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
