// The model check's report: figures a script can read, then the first
// instances of each finding in the numbers a user finds in ANSYS and in
// input.dat.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "check/surface_check.h"

/// Exit status of a check that found problems.
inline constexpr int kProblemsFoundStatus = 3;

/// The report: one line "label: value" per figure, then what the problems
/// are and the first instances of each finding. Lines end with a line feed.
/// A figure a caller adds to the report, after "field cells".
struct ExtraFigure {
  std::string_view label;
  std::int64_t value;
};

std::string CheckReportText(const SurfaceFindings& findings,
                            std::span<const ExtraFigure> extra = {});

/// 0 when the check found no problem, kProblemsFoundStatus otherwise.
int CheckStatus(const SurfaceFindings& findings);
