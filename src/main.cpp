#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "driver/check_run.h"
#include "driver/command_line.h"
#include "driver/run_summary.h"
#include "driver/translation_run.h"
#include "system/console.h"
#include "system/files.h"
#include "system/interruptions.h"
#include "textio/diagnostics.h"
#include "textio/file_opening.h"
#include "textio/output_file.h"
#include "threads/parallel_records.h"

namespace {

// Prints the text of --help or --version; a failed write is no success.
int PrintToStandardOutput(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
    return 0;
  }
  std::fprintf(stderr, "cdb2bem: cannot write to standard output: %s\n", std::strerror(errno));
  return kUsageStatus;
}

// Whether `name` is an existing regular file whose first bytes are neither
// "<?xml" nor "<VTKFile": no .vtu, and not to be replaced by one. A file that
// cannot be examined is left to the open of the .vtu, which reports it.
bool HoldsOtherThanVtk(const std::string& name) {
  FileStatus status;
  if (!StatusOf(name, status) || status.kind != FileKind::kRegular) return false;
  std::string text;
  if (!ReadFileStart(name, 8, text)) return false;
  return !text.starts_with("<?xml") && !text.starts_with("<VTKFile");
}

// After a model file that could not be opened, on a terminal: the model
// files there are, and the way to translate one. (Windows refuses to open a
// directory for lack of permission.)
void HintAtMissingModel(int status, const CommandLineOptions& options) {
  if ((status == kFileNotFound || status == kOpenFailure || status == kPermissionDenied) &&
      StandardErrorIsTerminal()) {
    const std::string hint = MissingModelHint(status, options);
    if (!hint.empty()) PrintWarning(hint);
  }
}

int Run(const ParsedCommandLine& command_line) {
  const CommandLineOptions& options = command_line.options;
  if (!command_line.error.empty()) {
    std::fputs(command_line.error.c_str(), stderr);
    return kUsageStatus;
  }
  if (options.help) return PrintToStandardOutput(HelpText());
  if (options.version) return PrintToStandardOutput(VersionText(CDB2BEM_VERSION));
  for (const std::string& directory : options.directories) {
    if (!ChangeDirectory(directory)) {
      std::fprintf(stderr, "cdb2bem: cannot change to directory '%s': %s\n", directory.c_str(),
                   std::strerror(errno));
      return kUsageStatus;
    }
  }
  const int jobs = options.jobs;  // 0: the run takes one per core
  RunFiles files = RunFilesFor(options.model);
  files.directories = options.directories;
  // A list of types left out makes the model renumbered, unless --skin.
  const RebuildOptions mode(options.skin       ? ModelMode::kSkin
                            : options.renumber ? ModelMode::kRenumbered
                                               : ModelMode::kAsWritten,
                            options.leave_out);
  if (options.check) {
    const int status = RunCheck(jobs, mode, files);
    HintAtMissingModel(status, options);
    return status;
  }
  // A .vtu that is the model or another output is refused with the open
  // failure when the outputs are opened, before anything is read or written.
  if (!options.vtu_file.empty() && HoldsOtherThanVtk(files.Output(options.vtu_file))) {
    std::fprintf(stderr, "cdb2bem: %s\n", VtuContentRefused(options.vtu_file).c_str());
    return kUsageStatus;
  }
  const int status = RunTranslation(options.vtu_file, jobs, mode, files, options.material);
  HintAtMissingModel(status, options);
  return status;
}

// A console window that Explorer opened for the program alone closes when it
// ends: it waits for Enter, so that what it printed can be read, and, started
// without a model where there is none, first says how it is used.
int KeepConsoleOpen(int status, const CommandLineOptions& options) {
  if (!AloneInItsConsole()) return status;
  if (status == kFileNotFound && options.model.empty() && options.directories.empty()) {
    std::fputs(
        "\r\ncdb2bem translates an ANSYS model (.cdb) into input.dat and input.plt beside it.\r\n"
        "Drop a .cdb file on cdb2bem.exe, or open a console in the model's folder and\r\n"
        "run: cdb2bem model.cdb\r\n",
        stdout);
  }
  std::fputs("\r\n", stdout);
  std::fflush(stdout);
  WaitForEnter("Press Enter to close this window.");
  return status;
}

}  // namespace

// The run's status is the process's exit status. std::exit ends the process
// as a return from main would (static objects destroyed, C streams flushed);
// it is called by name to say that nothing follows the run: every file of
// the run is closed before RunTranslation returns.
int main(int argc, char* argv[]) {
  // A process started with so little memory that it could not even throw
  // the exception that reports running out of it ends here, with the same
  // diagnostic as any run out of memory.
  void* headroom = std::malloc(std::size_t{256} << 10);
  if (headroom == nullptr) std::exit(ReportInsufficientMemory());
  std::free(headroom);
  // The process, once before any run: standard descriptors that are closed
  // opened on the null device, interruptions that remove the temporary
  // outputs, writes beyond the file-size limit or into a closed pipe that
  // fail with their diagnostic, threads with stacks of 4 MiB.
  PrepareStandardStreams();
  HandleInterruptions();
  LimitReadingThreadStacks();
  try {
    const ParsedCommandLine command_line = ParseCommandLine(argc, CommandLineArguments(argc, argv));
    std::exit(KeepConsoleOpen(Run(command_line), command_line.options));
  } catch (const std::bad_alloc&) {
    std::exit(ReportInsufficientMemory());
  }
}
