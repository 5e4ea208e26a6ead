// The warnings of a successful translation: what the solver will not get
// from the outputs as they are written.
#pragma once

#include <string>
#include <vector>

#include "check/surface_check.h"
#include "model/run_tables.h"

/// Whether the triangles may fail to form a closed, consistently oriented
/// surface. Each edge used once in each direction adds h(a, b) - h(b, a) and
/// h(b, a) - h(a, b) to a sum over the triangles' directed edges, which is
/// 0 for a closed, consistently oriented surface; an open edge, an edge of
/// two triangles running the same way or of three triangles leaves it, but
/// for one chance in 2^64, other than 0. An edge of four triangles, two
/// running each way (two closed bodies touching along an edge), sums to 0:
/// such a surface is closed body by body, and the check still counts the
/// edge as non-manifold. Summed on `jobs` threads.
bool MayNotBeClosed(const RunTables& run, int jobs = 1);

/// The warning lines, in order: the surface not closed (when `findings`,
/// the check of the surface, has open or non-manifold edges or orientation
/// conflicts; null when the closure test found nothing), one per kind of
/// load the solver does not take, the constraints that reach no triangle,
/// and, unless `material_written`, the material.
std::vector<std::string> TranslationWarnings(const RunTables& run, const SurfaceFindings* findings,
                                             bool material_written);
