// The map file: where each node, triangle, field point and field cell of
// input.dat comes from in the ANSYS model.
#pragma once

#include <string_view>

#include "model/rebuilt_surface.h"
#include "model/run_tables.h"
#include "textio/output_file.h"

/// The map file, beside input.dat.
inline constexpr std::string_view kMapFileName = "input-map.csv";
/// The unit shown in diagnostics about the map file.
inline constexpr int kMapUnit = 10;

/// Writes the header "kind,number,ansys_number,ansys_face", then a row per
/// node ("node,1,17,"), field point ("field point,1,905,"), triangle
/// ("triangle,1,5,3": face 3 of element 5; the face empty when the surface
/// element is the ANSYS element itself) and field cell ("field cell,1,2001,"),
/// in that order, each ended by CR LF.
void WriteMapFile(OutputFile& file, const RunTables& run, const SurfaceOrigins& origins);
