// Surface-effect elements laid on the faces of a volume model (SURF152,
// SURF154, ...): they make no faces of their own; the skin face they lie on
// takes their pressures.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "model/element_types.h"
#include "model/model_records.h"
#include "model/rebuilt_surface.h"

/// Whether elements of `type` are surface-effect elements: of a 3-D surface
/// class, with an ANSYS name that begins "SURF".
bool IsSurfaceEffect(const LocalElementType& type);

/// The skin face each surface-effect element lies on: the face whose
/// corners are the element's distinct corners (its nodes 1 to 4). `faces`
/// holds the corners of skin face k (node positions, a triangle's third
/// given twice) at 4 * (k - 1); `elements` the positions of the surface-
/// effect elements, whose corners are in the node block. Gives for each of
/// `elements` k when its corners run round the face as the face's do (a
/// cyclic shift of them), -k when they run the other way round, and 0 when
/// it lies on no skin face. A quadrilateral on a face in neither order
/// refuses the model, naming the element.
std::vector<std::int32_t> SkinFacesOfSurfaceEffects(const ModelRecords& records,
                                                    const ModelIndex& index,
                                                    std::span<const std::int32_t> faces,
                                                    std::span<const std::int32_t> elements);
