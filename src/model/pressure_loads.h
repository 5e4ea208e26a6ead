// Pressure loads: tractions on the triangles of pressure-loaded elements.
#pragma once

#include "model/run_tables.h"
#include "textio/record_file.h"

/// Reads the "SFE," records with the label "PRES" from the first record to
/// the first record beginning "FINI" (left after it), and gives both
/// triangles of each loaded element traction conditions -p u in x, y, z, u
/// being the unit normal of the element's first triangle.
void ReadPressureLoads(InputFile& model, RunTables& run);
