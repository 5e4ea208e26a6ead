// Lines for a person at a terminal: what a run made, a model file whose
// name differs only in case from the one looked for, and the model files
// there are when the one looked for is missing or a directory.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "check/surface_check.h"
#include "driver/command_line.h"

/// The line after the closing message: the counts of nodes, triangles,
/// triangles with a displacement condition and loaded triangles, and, when
/// the model has open or non-manifold edges or no displacement condition,
/// what it has and a pointer to --check. Without a line end.
std::string RunSummaryLine(const SurfaceFindings& findings);

/// The name the model file sometimes has in lower case.
inline constexpr std::string_view kLowerCaseModelFileName = "ansys_model.cdb";

/// The line after the diagnostic of a missing ANSYS_Model.cdb when
/// ansys_model.cdb is beside it: how to translate that file. Without a line end.
std::string LowerCaseModelHint();

/// `word` as a shell takes it: quoted when it holds a blank or a character
/// that the shell reads.
std::string TypedWord(std::string_view word);

/// The command that translates `model` as it is typed: "cdb2bem", the -C
/// options of the command line, then `model`; a word with a blank or a
/// character a shell reads is quoted.
std::string TranslationCommand(const std::vector<std::string>& directories, std::string_view model);

/// The names of the .cdb files (ending ".cdb" in any case) of `directory`,
/// sorted; none when it cannot be read.
std::vector<std::string> ModelFilesIn(const std::string& directory);

/// The line after the diagnostic of a model file that could not be opened
/// (`status`), for a person at a terminal; empty when there is none. With no
/// model named: the .cdb files of the working directory, a few by name with
/// their count, and the command that translates the first; ansys_model.cdb
/// is named by LowerCaseModelHint instead. With a directory named: that it
/// is one, and the command that translates its first .cdb file. Without a
/// line end.
std::string MissingModelHint(int status, const CommandLineOptions& options);
