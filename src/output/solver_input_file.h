// The solver input file "input.dat".
#pragma once

#include <string_view>

#include "model/run_tables.h"
#include "textio/output_file.h"

/// Writes the title with today's date, the solver settings, the counts, the
/// nodes, the triangles with their conditions, the field points and cells and
/// the end marker. The records of the tables are formatted on `jobs` threads.
/// A `material_text` that is not empty is the material record's text in
/// place of E = 1.0 and v = 0.3.
void WriteSolverInputFile(OutputFile& file, const RunTables& run, int jobs = 1,
                          std::string_view material_text = {});
