// Element block: boundary triangles and field cells.
#pragma once

#include <cstdint>

#include "model/run_tables.h"
#include "textio/record_file.h"

/// Finds the element format record, turns ElementCount element records into
/// triangles (TriangleNodes, ElementTriangles, TriangleCount) and reads
/// FieldCellCount field cells into FieldCellNodes, on `jobs` threads. An
/// element number or a
/// corner outside the tables ends the run. Leaves the file after the last
/// field-cell record.
void ReadElementBlock(InputFile& model, RunTables& run, int jobs = 1);

/// Cuts the quadrilateral I, J, K, L along its shorter diagonal: true when it
/// is cut along I-K, giving (I, J, K) and (I, K, L); false for J-L, giving
/// (I, J, L) and (J, K, L). Equal lengths and NaN cut along J-L.
bool CutAlongIK(const double* i, const double* j, const double* k, const double* l);
