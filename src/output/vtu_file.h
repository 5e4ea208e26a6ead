// The model as a VTK XML UnstructuredGrid file (.vtu), for ParaView and VTK.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "model/rebuilt_surface.h"
#include "model/run_tables.h"
#include "textio/output_file.h"

/// The unit shown in diagnostics about the .vtu file.
inline constexpr int kVtuUnit = 9;

/// VTK cell types of the file.
inline constexpr std::uint8_t kVtkTriangle = 5;
inline constexpr std::uint8_t kVtkQuad = 9;

/// Writes the model to `file`: the boundary nodes then the field points as
/// points, the triangles then the field cells as cells, with the cell arrays
/// bc_kind, bc_value, element, triangle, region and check and the point array
/// node. The data go raw into the appended section, each block a 64-bit byte
/// count followed by the items.
///
/// `triangle_flags` holds the model check's mask of triangle t at index t - 1
/// (1 degenerate, 2 on an edge with an orientation conflict), written as the
/// cell array check; triangles past its end get 0. A cell with a corner that is no point of the
/// file (a field cell whose corner is no field point) is left out, and one
/// warning on standard error says how many and which came first. A failed
/// write raises the write diagnostic for `file`; the caller closes it.
///
/// With `origins` (a renumbered model or a skin), the point array node and
/// the cell array element hold the ANSYS node and element numbers, and the
/// cell array ansys_face the face each triangle comes from (0 for a field
/// cell, and for a triangle of a renumbered surface element).
void WriteVtuFile(OutputFile& file, const RunTables& run,
                  std::span<const std::uint8_t> triangle_flags,
                  const SurfaceOrigins* origins = nullptr);
