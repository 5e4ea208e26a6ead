#include "driver/run_summary.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "system/files.h"
#include "textio/diagnostics.h"
#include "textio/file_opening.h"

std::string RunSummaryLine(const SurfaceFindings& f) {
  std::string line(" ");
  line.append(Counted(f.nodes, "node", "nodes")).append(", ");
  line.append(Counted(f.triangles, "triangle", "triangles")).append(": ");
  line.append(std::to_string(f.displacement_triangles)).append(" with a displacement condition, ");
  line.append(std::to_string(f.loaded_triangles)).append(" with a traction that is not zero");
  std::vector<std::string> findings;
  if (f.open_edges != 0) findings.push_back(Counted(f.open_edges, "open edge", "open edges"));
  if (f.non_manifold_edges != 0) {
    findings.push_back(Counted(f.non_manifold_edges, "non-manifold edge", "non-manifold edges"));
  }
  if (f.no_displacement) findings.emplace_back("no displacement condition");
  if (findings.empty()) return line;
  line += "; the model has ";
  for (std::size_t i = 0; i < findings.size(); ++i) {
    if (i != 0) line += i + 1 == findings.size() ? " and " : ", ";
    line += findings[i];
  }
  return line + ": see cdb2bem --check";
}

std::string LowerCaseModelHint() {
  const std::string name(kLowerCaseModelFileName);
  return std::string(" ") + name + " is here; to translate it: cdb2bem [OPTION]... " + name;
}

// A word as a shell takes it: quoted when it holds a blank or a character
// that the shell reads.
std::string TypedWord(std::string_view word) {
  bool plain = !word.empty();
  for (const char c : word) {
    // A separator of paths is plain where the system has it (the backslash on Windows).
    plain &= (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
             std::string_view("._-+/:@%=,").find(c) != std::string_view::npos || IsPathSeparator(c);
  }
  if (plain) return std::string(word);
  std::string quoted(1, '"');
  return quoted.append(word).append(1, '"');
}

namespace {

bool EndsInCdb(std::string_view name) {
  if (name.size() <= 4) return false;
  std::string end(name.substr(name.size() - 4));
  std::transform(end.begin(), end.end(), end.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return end == ".cdb";
}

// "a.cdb, b.cdb and c.cdb", the first four names and "N more" after them.
std::string NamesOf(const std::vector<std::string>& names) {
  constexpr std::size_t kNamed = 4;
  const std::size_t named = std::min(names.size(), kNamed);
  std::string text;
  for (std::size_t i = 0; i < named; ++i) {
    if (i != 0) text += i + 1 == named && names.size() <= kNamed ? " and " : ", ";
    text += names[i];
  }
  if (names.size() > kNamed) text += " and " + std::to_string(names.size() - kNamed) + " more";
  return text;
}

bool IsDirectory(const std::string& name) {
  FileStatus status;
  return StatusOf(name, status) && status.kind == FileKind::kDirectory;
}

}  // namespace

std::string TranslationCommand(const std::vector<std::string>& directories,
                               std::string_view model) {
  std::string command = "cdb2bem";
  for (const std::string& directory : directories)
    command.append(" -C ").append(TypedWord(directory));
  return command.append(" ").append(TypedWord(model));
}

std::vector<std::string> ModelFilesIn(const std::string& directory) {
  std::vector<std::string> entries;
  if (!ListDirectory(directory, entries)) return {};
  std::vector<std::string> names;
  for (std::string& entry : entries) {
    FileStatus status;
    if (EndsInCdb(entry) && StatusOf(JoinPath(directory, entry), status) &&
        status.kind == FileKind::kRegular) {
      names.push_back(std::move(entry));
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string MissingModelHint(int status, const CommandLineOptions& options) {
  if (status == kFileNotFound && options.model.empty()) {
    FileIdentity ignored;
    if (IdentityOf(std::string(kLowerCaseModelFileName), ignored)) return LowerCaseModelHint();
    const std::vector<std::string> names = ModelFilesIn(".");
    if (names.empty()) {
      return " no .cdb file is here; to translate a model, name it: cdb2bem [OPTION]... MODEL";
    }
    const std::string command = TranslationCommand(options.directories, names.front());
    std::string line(" ");
    if (names.size() == 1)
      return line.append(names.front()).append(" is here; to translate it: ").append(command);
    return line.append(std::to_string(names.size()))
        .append(" .cdb files are here: ")
        .append(NamesOf(names))
        .append("; to translate one: ")
        .append(command);
  }
  if (status != kFileNotFound && !options.model.empty() && IsDirectory(options.model)) {
    const std::vector<std::string> names = ModelFilesIn(options.model);
    std::string line(" ");
    line.append(options.model).append(" is a directory, not a model file");
    if (names.empty()) return line.append(", and holds no .cdb file");
    return line.append("; to translate ")
        .append(names.front())
        .append(" in it: ")
        .append(TranslationCommand(options.directories, JoinPath(options.model, names.front())));
  }
  return {};
}
