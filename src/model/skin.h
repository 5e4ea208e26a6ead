// The skin of a volume model: the faces of its volume elements that no
// other face shares, as the surface model the plain run translates.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "model/model_records.h"
#include "model/rebuilt_surface.h"
#include "model/run_tables.h"

/// The corners of face `face` (1 to 4 of a tetrahedron, 1 to 6 of a brick)
/// of a volume element with corners `corners` (I J K L of a tetrahedron, I
/// to P of a brick), in the face's order, a corner repeated after its first
/// occurrence dropped: how many are left (fewer than 3: the face collapsed).
int FaceCorners(std::span<const std::int32_t> corners, bool tetrahedron, int face,
                std::int32_t out[4]);

/// The skin faces of volume elements, each element given by `tetrahedron`
/// (true: corners 1-4) and its corners (node positions from 0, 8 per
/// element, the last four unused for a tetrahedron). A face is on the skin
/// when no other face of any element has the same set of corners. Returns
/// element * 8 + face of each skin face, in element then face order; counts
/// in `interior` the interior faces: each set of corners that more than one
/// face has, once.
/// Threads: `jobs`.
std::vector<std::uint32_t> FindSkinFaces(std::span<const std::int32_t> corners,
                                         std::span<const std::uint8_t> tetrahedron,
                                         std::int64_t node_count, std::int64_t& interior,
                                         int jobs = 1);

/// The skin of the model: every element that is not a field cell must be a
/// volume element of a known type (refused otherwise, one line naming it);
/// skin face k is surface element k, its corners the surface nodes numbered
/// in increasing order of their numbers; field points and field cells
/// follow as when renumbering. Fills `run` and `origins`.
void BuildSkinModel(const ModelRecords& records, RunTables& run, SurfaceOrigins& origins,
                    int jobs = 1);
