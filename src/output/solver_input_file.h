// The solver input file "input.dat".
#pragma once

#include "model/run_tables.h"
#include "textio/output_file.h"

/// Writes the title with today's date, the solver settings, the counts, the
/// nodes, the triangles with their conditions, the field points and cells and
/// the end marker. The records of the tables are formatted on `jobs` threads.
void WriteSolverInputFile(OutputFile& file, const RunTables& run, int jobs = 1);
