// The model renumbered (--renumber): nodes and elements numbered 1, 2, 3,
// ... and handed to the surface tables the plain run fills.
#pragma once

#include "model/model_records.h"
#include "model/rebuilt_surface.h"
#include "model/run_tables.h"

/// The model numbered 1, 2, 3, ...: nodes and elements in increasing order
/// of their numbers, field points and field cells after them in the order
/// of the blocks. Refuses an element whose type is no surface element, an
/// element of 1, 2 or more than 8 nodes, and a refused corner, record by
/// record in file order. Fills `run` and `origins`.
void BuildRenumberedModel(const ModelRecords& records, RunTables& run, SurfaceOrigins& origins,
                          int jobs = 1);
