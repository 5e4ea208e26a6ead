#include "driver/command_line.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "textio/diagnostics.h"

namespace {

using FlagField = bool CommandLineOptions::*;
using TextField = std::string CommandLineOptions::*;
using ListField = std::vector<std::string> CommandLineOptions::*;
using CountField = int CommandLineOptions::*;
using LeaveOutField = LeaveOutList CommandLineOptions::*;

using OptionField = std::variant<FlagField, TextField, ListField, CountField, LeaveOutField>;

struct OptionSpec {
  const char* long_name;
  char short_name;       // '\0': the long form only
  const char* argument;  // the argument's name in --help; nullptr: none taken
  OptionField field;
  const char* help;
};

// One line per option; --help lists them in this order.
const OptionSpec kOptions[] = {
    {"directory", 'C', "DIR", &CommandLineOptions::directories,
     "change to DIR first; MODEL is taken there"},
    {"check", '\0', nullptr, &CommandLineOptions::check,
     "check the model's surface and conditions; write no file"},
    {"skin", '\0', nullptr, &CommandLineOptions::skin,
     "translate the outer surface of a volume model"},
    {"renumber", '\0', nullptr, &CommandLineOptions::renumber,
     "number nodes and elements 1, 2, 3, ... (as --skin does)"},
    {"leave-out", '\0', "LIST", &CommandLineOptions::leave_out,
     "read no element of the types in LIST (3,5-7,CONTA174)"},
    {"vtu", '\0', "FILE", &CommandLineOptions::vtu_file,
     "also write the model with its conditions to FILE (.vtu)"},
    {"material", '\0', nullptr, &CommandLineOptions::material,
     "write the model's E and v (EX, PRXY) in input.dat"},
    {"jobs", 'j', "N", &CommandLineOptions::jobs,
     "use N threads (default: the cores it may use, up to 16)"},
    {"help", 'h', nullptr, &CommandLineOptions::help, "print this help and exit"},
    {"version", '\0', nullptr, &CommandLineOptions::version, "print the version and exit"},
};
constexpr int kOptionCount = static_cast<int>(std::size(kOptions));

// getopt_long returns kLongBase + i for the long form of option i, the
// letter itself for a short form.
constexpr int kLongBase = 256;

constexpr std::string_view kProgram = "cdb2bem";

std::string Refusal(std::string_view reason) {
  std::string text = std::string(kProgram) + ": ";
  text += reason;
  text += "\nTry 'cdb2bem --help' for more information.\n";
  return text;
}

std::string Letter(int letter) { return std::string(1, static_cast<char>(letter)); }

int IndexOfShort(int letter) {
  for (int i = 0; i < kOptionCount; ++i) {
    if (kOptions[i].short_name != '\0' && kOptions[i].short_name == letter) return i;
  }
  return -1;
}

// A count from 1 to kMostJobsAsked in decimal digits, or 0 when `text` is none.
int CountOf(std::string_view text) {
  int count = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  if (text.empty() || text[0] == '+' || text[0] == '-' || error != std::errc{} ||
      end != text.data() + text.size() || count < 1 || count > kMostJobsAsked) {
    return 0;
  }
  return count;
}

// Stores the option's argument; the reason when the argument is refused.
std::string Apply(const OptionSpec& entry, const char* argument, CommandLineOptions& options) {
  std::string refused;
  std::visit(
      [&](auto field) {
        using Field = decltype(field);
        if constexpr (std::is_same_v<Field, FlagField>) {
          options.*field = true;
        } else if constexpr (std::is_same_v<Field, TextField>) {
          options.*field = argument;
        } else if constexpr (std::is_same_v<Field, CountField>) {
          options.*field = CountOf(argument);
          if (options.*field == 0) {
            refused = "invalid argument '" + std::string(argument) + "' for '--" + entry.long_name +
                      "': a number from 1 to " + std::to_string(kMostJobsAsked) + " is needed";
          }
        } else if constexpr (std::is_same_v<Field, LeaveOutField>) {
          ParsedLeaveOut parsed = ParseLeaveOut(argument);
          if (!parsed.error.empty()) {
            refused = "invalid argument '" + std::string(argument) + "' for '--" + entry.long_name +
                      "': " + parsed.error;
          }
          for (LeaveOutItem& item : parsed.list.items) {
            (options.*field).items.push_back(std::move(item));
          }
        } else {
          (options.*field).emplace_back(argument);
        }
      },
      entry.field);
  return refused;
}

// A long option that getopt_long did not take: unknown, or an abbreviation
// that fits more than one option.
std::string UnknownLongOption(std::string_view word) {
  std::string_view name = word.substr(2);  // after "--"
  name = name.substr(0, name.find('='));
  std::string fits;
  int count = 0;
  for (const OptionSpec& entry : kOptions) {
    if (std::string_view(entry.long_name).starts_with(name)) {
      fits += " '--" + std::string(entry.long_name) + "'";
      ++count;
    }
  }
  if (count > 1) return "option '" + std::string(word) + "' is ambiguous; possibilities:" + fits;
  return "unrecognized option '" + std::string(word) + "'";
}

}  // namespace

ParsedCommandLine ParseCommandLine(int argc, char* argv[]) {
  std::string short_options = ":";  // report a missing argument as ':'
  std::vector<option> long_options;
  for (int i = 0; i < kOptionCount; ++i) {
    const OptionSpec& entry = kOptions[i];
    const int has_arg = entry.argument != nullptr ? required_argument : no_argument;
    long_options.push_back({entry.long_name, has_arg, nullptr, kLongBase + i});
    if (entry.short_name != '\0') {
      short_options += entry.short_name;
      if (entry.argument != nullptr) short_options += ':';
    }
  }
  long_options.push_back({nullptr, 0, nullptr, 0});

  ParsedCommandLine parsed;
  bool vtu_given = false;  // an empty name is no name
  opterr = 0;              // the messages below are ours
  optind = 0;              // start afresh, also when called more than once
  for (;;) {
    const int c = getopt_long(argc, argv, short_options.c_str(), long_options.data(), nullptr);
    if (c == -1) break;
    if (c >= kLongBase) {
      if (kOptions[c - kLongBase].field == OptionField{&CommandLineOptions::vtu_file}) {
        vtu_given = true;
      }
      if (std::string refused = Apply(kOptions[c - kLongBase], optarg, parsed.options);
          !refused.empty()) {
        parsed.error = Refusal(refused);
      }
    } else if (const int index = IndexOfShort(c); index >= 0) {
      if (std::string refused = Apply(kOptions[index], optarg, parsed.options); !refused.empty()) {
        parsed.error = Refusal(refused);
      }
    } else if (optopt >= kLongBase && kOptions[optopt - kLongBase].argument == nullptr) {
      // An argument given to an option that takes none (GNU's getopt_long
      // returns '?' for it, BSD's and MinGW's ':').
      parsed.error = Refusal("option '--" + std::string(kOptions[optopt - kLongBase].long_name) +
                             "' doesn't allow an argument");
    } else if (optopt >= kLongBase) {
      parsed.error = Refusal("option '--" + std::string(kOptions[optopt - kLongBase].long_name) +
                             "' requires an argument");
    } else if (c == ':') {
      parsed.error = Refusal("option requires an argument -- '" + Letter(optopt) + "'");
    } else if (optopt == 0) {
      parsed.error = Refusal(UnknownLongOption(argv[optind - 1]));
    } else {
      parsed.error = Refusal("invalid option -- '" + Letter(optopt) + "'");
    }
    if (!parsed.error.empty()) return parsed;
  }
  // getopt_long has moved the arguments that are no options to the end.
  const bool model_given = optind < argc;
  if (model_given) parsed.options.model = argv[optind++];
  if (optind < argc) {
    parsed.error =
        Refusal("unexpected argument '" + std::string(argv[optind]) + "': one model file at most");
  } else if (model_given && parsed.options.model.empty()) {
    parsed.error = Refusal("the model file's name is empty");
  } else if (vtu_given && parsed.options.vtu_file.empty()) {
    parsed.error = Refusal("option '--vtu' requires a file name");
  } else if (vtu_given && parsed.options.check) {
    parsed.error = Refusal("--check writes no file; it does not go with --vtu");
  } else if (parsed.options.material && parsed.options.check) {
    parsed.error = Refusal("--check writes no file; it does not go with --material");
  } else if (vtu_given && !EndsInVtu(parsed.options.vtu_file)) {
    parsed.error = Refusal(VtuNameRefused(parsed.options.vtu_file));
  }
  return parsed;
}

bool EndsInVtu(std::string_view name) {
  if (name.size() < 4) return false;
  const std::string_view end = name.substr(name.size() - 4);
  return std::equal(end.begin(), end.end(), std::string_view(".vtu").begin(), [](char a, char b) {
    return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
  });
}

std::string HelpText() {
  std::string text =
      "Usage: cdb2bem [OPTION]... [MODEL]\n"
      "Translate the ANSYS CDB model MODEL (default: ANSYS_Model.cdb) into input.dat,\n"
      "the input file of a boundary-element stress solver, and input.plt, a Tecplot\n"
      "ASCII plot file of the same surface mesh. Both are written in MODEL's\n"
      "directory, replacing files of those names all together or not at all: a\n"
      "run that fails leaves them as they were. A relative FILE of --vtu is taken\n"
      "in MODEL's directory too. With --skin or --renumber, input-map.csv beside\n"
      "them tells where each node, triangle, field point and field cell comes from.\n"
      "\n"
      "Options:\n";
  // "  -C, --directory=DIR" or "      --help", then the help in one column.
  std::vector<std::string> forms;
  std::size_t width = 0;
  for (const OptionSpec& entry : kOptions) {
    std::string form(6, ' ');
    if (entry.short_name != '\0') form.replace(2, 3, {'-', entry.short_name, ','});
    form.append("--").append(entry.long_name);
    if (entry.argument != nullptr) form.append("=").append(entry.argument);
    width = std::max(width, form.size());
    forms.push_back(std::move(form));
  }
  for (std::size_t i = 0; i < forms.size(); ++i) {
    text.append(forms[i]).append(width + 2 - forms[i].size(), ' ');
    text.append(kOptions[i].help).append("\n");
  }
  text +=
      "\n"
      "Exit status:\n"
      "  0  the files written: input.dat, input.plt, and input-map.csv and FILE\n"
      "     of --vtu when asked for\n"
      "  1  the model was refused; the line on standard error tells why\n"
      "  2  the command line was refused, or DIR could not be entered\n"
      "  3  --check found problems: the report's line 'problems:' is not 0\n"
      "  4  (Windows) the model or an output is in use by another program\n"
      "  N  'runerr: severe (N): ...' on standard error: a file could not be opened,\n"
      "     read or written, a value could not be converted, or memory ran out\n"
      "     (a POSIX shell sees N modulo 256; Windows' %ERRORLEVEL% sees N)\n"
      "\n"
      "Full documentation: man cdb2bem\n"
      "(on Windows: cdb2bem-manual.txt beside cdb2bem.exe)\n";
  return text;
}

std::string VersionText(std::string_view version) {
  return std::string(kProgram) + " " + std::string(version) +
         "\n"
         "Copyright (C) 2026 the cdb2bem authors.\n"
         "License MIT: <https://opensource.org/license/mit>.\n"
         "This is free software: you are free to change and redistribute it.\n"
         "There is NO WARRANTY, to the extent permitted by law.\n";
}
