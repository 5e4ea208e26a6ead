// The plot file "input.plt", Tecplot ASCII.
#pragma once

#include "model/run_tables.h"
#include "textio/output_file.h"

/// Writes the boundary mesh as a zone of triangles and, when the model has
/// field points, the field points and cells as a zone of quadrilaterals. The
/// records of the tables are formatted on `jobs` threads.
void WritePlotFile(OutputFile& file, const RunTables& run, int jobs = 1);
