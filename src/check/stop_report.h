// What the check says of where the run stopped, as the reader noted it, and
// of a remedy it tried on the model before proposing it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "check/model_survey.h"
#include "textio/diagnostics.h"

/// A command line the check tried on the model, in memory, before proposing
/// it; `command` is empty when none was tried.
struct TriedRemedy {
  std::string command;                 // as the user types it: "cdb2bem --skin TetBeam.cdb"
  bool skin = false;                   // the command translates the skin (else renumbers)
  std::vector<std::int32_t> left_out;  // the local types its --leave-out names
  bool passed = false;                 // it read the model through and made a surface
  RunEnded stopped{0};                 // where it stopped when it did not pass
};

/// The local type as the check names it, its number first: "type 2,
/// SOLID185", or "type 2" when no ET record defines it.
std::string NumberedTypeName(const ModelSurvey& s, std::int64_t itype);

/// Where the run stopped and by which rule, as one fact ("the run stopped at
/// element 1 (record 1081): ..."); empty when the reader noted nothing.
std::string StopFact(const RunEnded& refused, const ModelSurvey& s);

/// The remedy of a refusal that nothing in cdb2bem mends, its reason first;
/// empty when the refusal is of another kind.
std::string StopRemedy(const RunEnded& refused);

/// The lines of a tried remedy: the command and what it does when it passed,
/// else that nothing in cdb2bem translates the model as it stands.
std::string TriedRemedyLines(const TriedRemedy& tried, const ModelSurvey& s);

/// Whether the element rows use a type the model defines as a volume element.
bool UsesVolumeTypes(const ModelSurvey& s);

/// Whether every element row is of a 2-D type (plane, axisymmetric or 2-D
/// line), some of them of an area: a 2-D model.
bool IsPlanarModel(const ModelSurvey& s);

/// The types the element rows use, as a fact: "the element rows are of type
/// 1, PLANE182 (40 elements) and type 2, PLANE183 (6 elements)".
std::string UsedTypesFact(const ModelSurvey& s);
