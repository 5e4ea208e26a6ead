#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

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

// Whether `name` is the model, input.dat or input.plt of the run (or its
// input-map.csv, when one is written) under another spelling (./input.dat,
// a link to the directory): the same place as the output set sees it.
bool NamesTheModelOrThePair(const std::string& name, const RunFiles& files, bool with_map) {
  if (name.empty()) return false;
  const FilePlace target = PlaceOf(name);
  if (!target.known) return false;  // the open of the .vtu reports what is wrong with it
  if (with_map && PlaceOf(files.Output("input-map.csv")) == target) return true;
  for (const std::string& own :
       {files.model, files.Output("input.dat"), files.Output("input.plt")}) {
    if (PlaceOf(own) == target) return true;
  }
  return false;
}

// After a missing ANSYS_Model.cdb, on a terminal: the lower-case name, when
// a file has it, is named with the way to translate it.
void HintAtLowerCaseModel(int status, const CommandLineOptions& options) {
  FileIdentity ignored;
  if (status == kFileNotFound && options.model.empty() && StandardErrorIsTerminal() &&
      IdentityOf(std::string(kLowerCaseModelFileName), ignored)) {
    PrintWarning(LowerCaseModelHint());
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
  const RunFiles files = RunFilesFor(options.model);
  const ModelMode mode = options.skin       ? ModelMode::kSkin
                         : options.renumber ? ModelMode::kRenumbered
                                            : ModelMode::kAsWritten;
  if (options.check) {
    const int status = RunCheck(jobs, mode, files);
    HintAtLowerCaseModel(status, options);
    return status;
  }
  if (!options.vtu_file.empty() && NamesTheModelOrThePair(files.Output(options.vtu_file), files,
                                                          mode != ModelMode::kAsWritten)) {
    std::fprintf(stderr,
                 "cdb2bem: --vtu '%s' would overwrite the model or the file it is translated to\n",
                 options.vtu_file.c_str());
    return kUsageStatus;
  }
  const int status = RunTranslation(options.vtu_file, jobs, mode, files);
  HintAtLowerCaseModel(status, options);
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
    std::exit(Run(ParseCommandLine(argc, CommandLineArguments(argc, argv))));
  } catch (const std::bad_alloc&) {
    std::exit(ReportInsufficientMemory());
  }
}
