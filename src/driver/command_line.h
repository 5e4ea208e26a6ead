// The command line: options, their parsing and the texts of --help and
// --version. Nothing here touches the file system; main acts on the result.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/leave_out.h"

/// What the command line asks for. A new option is one field here and one
/// line in the option table of command_line.cpp.
struct CommandLineOptions {
  std::vector<std::string> directories;  // -C DIR, each relative to the one before
  bool check = false;                    // report on the model instead of translating it
  bool skin = false;                     // --skin: translate the outer surface of a volume model
  bool renumber = false;                 // --renumber: number nodes and elements 1, 2, 3, ...
  LeaveOutList leave_out;  // --leave-out LIST, every one given: element types not read
  std::string vtu_file;    // --vtu FILE: also the model as a .vtu; empty: none
  bool material = false;   // --material: the model's E and v in input.dat
  int jobs = 0;            // -j N: threads converting records; 0: one per core the process may use
  bool help = false;
  bool version = false;
  std::string model;  // the operand MODEL: the model file to read; empty: ANSYS_Model.cdb
};

/// The outcome of parsing: the options, or the lines that explain why the
/// command line was refused (empty when it was accepted).
struct ParsedCommandLine {
  CommandLineOptions options;
  std::string error;  // "cdb2bem: ...\nTry 'cdb2bem --help' for more information.\n"
};

/// Parses argv with getopt_long, printing nothing. One argument that is not
/// an option is the model file; a second one is refused.
ParsedCommandLine ParseCommandLine(int argc, char* argv[]);

/// The usage text printed by --help.
std::string HelpText();

/// The text printed by --version, for the given version number: the name
/// and version, the copyright, the licence and the absence of warranty.
std::string VersionText(std::string_view version);

/// The most threads -j accepts.
inline constexpr int kMostJobsAsked = 256;

/// Exit status of a command line that is refused or cannot be carried out.
inline constexpr int kUsageStatus = 2;

/// Whether `name` ends in ".vtu", in any case.
bool EndsInVtu(std::string_view name);
