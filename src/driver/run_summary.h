// Lines for a person at a terminal: what a run made, and a model file whose
// name differs only in case from the one looked for.
#pragma once

#include <string>
#include <string_view>

#include "check/surface_check.h"

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
