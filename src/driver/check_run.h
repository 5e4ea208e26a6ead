// The model check run: the model read as the translation reads it, checked
// instead of written.
#pragma once

#include "driver/model_reading.h"

/// Reads the model of `files` ("ANSYS_Model.cdb" in the working directory
/// unless named) as the translation does
/// (on `jobs` threads, 0: one per core), writes no file, and prints the check's report on
/// standard output. Returns 0 when the report finds no problem and 3 when it does. A model the
/// translation refuses is refused with the same diagnostic and status, and
/// a second look is printed on standard output: where the reader stopped
/// and by which rule, what a survey of the file finds, and the remedies, a
/// command line among them only when it was tried on the model and got
/// through (TryRemedy).
/// With `reading` kRenumbered or kSkin (a --leave-out list among them), the check is made on the
/// surface that translation would write; a skin's report adds its skin and interior faces.
int RunCheck(int jobs = 1, const RebuildOptions& reading = {}, const RunFiles& files = {});
