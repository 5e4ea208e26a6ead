#include "model/surface_effect.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "textio/diagnostics.h"

namespace {

// 1 when `element` runs round as `face` does, -1 the other way round, 0
// neither; both hold the same `count` corners.
int Orientation(const std::int32_t element[4], const std::int32_t face[4], int count) {
  const int start = static_cast<int>(std::find(face, face + count, element[0]) - face);
  bool same = true;
  bool reversed = true;
  for (int n = 0; n < count; ++n) {
    same = same && element[n] == face[(start + n) % count];
    reversed = reversed && element[n] == face[(start - n + count) % count];
  }
  return same ? 1 : reversed ? -1 : 0;
}

}  // namespace

bool IsSurfaceEffect(const LocalElementType& type) {
  const AnsysElement* row = FindAnsysElement(type.number);
  return type.element_class == ElementClass::kSurface && row != nullptr &&
         row->name.starts_with("SURF");
}

std::vector<std::int32_t> SkinFacesOfSurfaceEffects(const ModelRecords& records,
                                                    const ModelIndex& index,
                                                    std::span<const std::int32_t> faces,
                                                    std::span<const std::int32_t> elements) {
  std::vector<std::int32_t> on_face(elements.size(), 0);
  if (elements.empty()) return on_face;
  // The skin faces by their sets of corners.
  std::vector<std::pair<std::array<std::uint32_t, 4>, std::int32_t>> by_set;
  by_set.reserve(faces.size() / 4);
  for (std::size_t k = 0; k < faces.size() / 4; ++k) {
    std::int32_t corners[4];
    const int count = DistinctCorners(faces.data() + 4 * k, 4, corners);
    by_set.emplace_back(CornerSet(corners, count), static_cast<std::int32_t>(k + 1));
  }
  std::sort(by_set.begin(), by_set.end());

  for (std::size_t e = 0; e < elements.size(); ++e) {
    const std::int64_t i = elements[e];
    std::int32_t numbers[4];
    SurfaceCorners(records, i, numbers);
    std::int32_t positions[4];
    for (int n = 0; n < 4; ++n)
      positions[n] = static_cast<std::int32_t>(index.nodes.Find(numbers[n]));
    std::int32_t corners[4];
    const int count = DistinctCorners(positions, 4, corners);
    if (count < 3) continue;
    const std::pair<std::array<std::uint32_t, 4>, std::int32_t> key{CornerSet(corners, count), 0};
    const auto found = std::lower_bound(by_set.begin(), by_set.end(), key);
    if (found == by_set.end() || found->first != key.first) continue;
    const std::int32_t k = found->second;
    std::int32_t face[4];
    DistinctCorners(faces.data() + 4 * static_cast<std::size_t>(k - 1), 4, face);
    const int orientation = Orientation(corners, face, count);
    if (orientation == 0) {
      const auto at = static_cast<std::size_t>(i);
      const LocalElementType* type = records.types.Find(records.element_types[at]);
      StopWithModelError(SurfaceEffectCrossed(records.element_numbers[at], type->name));
    }
    on_face[e] = orientation * k;
  }
  return on_face;
}
