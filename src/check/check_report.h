// The model check's report: figures a script can read, then the first
// instances of each finding in the numbers a user finds in ANSYS and in
// input.dat.
#pragma once

#include <string>

#include "check/surface_check.h"

/// Exit status of a check that found problems.
inline constexpr int kProblemsFoundStatus = 3;

/// The report: one line "label: value" per figure, then what the problems
/// are and the first instances of each finding. Lines end with a line feed.
std::string CheckReportText(const SurfaceFindings& findings);

/// 0 when the check found no problem, kProblemsFoundStatus otherwise.
int CheckStatus(const SurfaceFindings& findings);
