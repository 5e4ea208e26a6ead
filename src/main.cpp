#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/command_line.h"
#include "driver/translation_run.h"

namespace {

// Prints the text of --help or --version; a failed write is no success.
int PrintToStandardOutput(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0) {
    return 0;
  }
  std::fprintf(stderr, "cdb2bem: cannot write to standard output: %s\n", std::strerror(errno));
  return kUsageStatus;
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
    if (::chdir(directory.c_str()) != 0) {
      std::fprintf(stderr, "cdb2bem: cannot change to directory '%s': %s\n", directory.c_str(),
                   std::strerror(errno));
      return kUsageStatus;
    }
  }
  return RunTranslation();
}

}  // namespace

int main(int argc, char* argv[]) { std::exit(Run(ParseCommandLine(argc, argv))); }
