// Displacement constraints: defaults and per-triangle displacement conditions.
#pragma once

#include <cstdint>

#include "model/run_tables.h"
#include "textio/record_file.h"

/// Sets every condition to zero traction; with HasDisplacements reads the "D,"
/// records up to the first record beginning "FI" (left after it); then gives
/// each triangle whose three corners are constrained in a direction the
/// displacement condition with their mean value, on `jobs` threads.
void ReadDisplacementConstraints(InputFile& model, RunTables& run, int jobs = 1);
