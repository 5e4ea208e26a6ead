#include "model/skin.h"

#include <algorithm>
#include <array>
#include <string>
#include <tuple>

#include "model/pressure_loads.h"
#include "model/surface_effect.h"
#include "textio/diagnostics.h"
#include "threads/parallel_records.h"

namespace {

// Corner indices (I = 0) of each face, in the order that makes the normal
// point out of the element.
constexpr std::int8_t kBrickFaces[6][4] = {{1, 0, 3, 2}, {0, 1, 5, 4}, {1, 2, 6, 5},
                                           {2, 3, 7, 6}, {3, 0, 4, 7}, {4, 5, 6, 7}};
constexpr std::int8_t kTetrahedronFaces[4][3] = {{1, 0, 2}, {0, 1, 3}, {1, 2, 3}, {2, 0, 3}};

// A face in the bucket of its smallest corner: its other corners, sorted
// (kNoCorner for a triangle's fourth), and element * 8 + face.
struct BucketFace {
  std::uint32_t corners[3];
  std::uint32_t origin;
  bool SameCorners(const BucketFace& other) const {
    return corners[0] == other.corners[0] && corners[1] == other.corners[1] &&
           corners[2] == other.corners[2];
  }
};

// The sorted corner set of a face: smallest first, then the rest.
int SortedFace(std::span<const std::int32_t> corners, bool tetrahedron, int face,
               std::uint32_t sorted[4]) {
  std::int32_t out[4];
  const int count = FaceCorners(corners, tetrahedron, face, out);
  if (count < 3) return count;
  const std::array<std::uint32_t, 4> set = CornerSet(out, count);
  std::copy(set.begin(), set.end(), sorted);
  return count;
}

}  // namespace

int FaceCorners(std::span<const std::int32_t> corners, bool tetrahedron, int face,
                std::int32_t out[4]) {
  const std::int8_t* order = tetrahedron ? kTetrahedronFaces[face - 1] : kBrickFaces[face - 1];
  const int size = tetrahedron ? 3 : 4;
  std::int32_t face_corners[4];
  for (int n = 0; n < size; ++n) face_corners[n] = corners[static_cast<std::size_t>(order[n])];
  return DistinctCorners(face_corners, size, out);
}

std::vector<std::uint32_t> FindSkinFaces(std::span<const std::int32_t> corners,
                                         std::span<const std::uint8_t> tetrahedron,
                                         std::int64_t node_count, std::int64_t& interior,
                                         int jobs) {
  const std::size_t elements = tetrahedron.size();
  // The faces sorted by their smallest corner first (a counting sort), then
  // inside each bucket by their other corners: a face is on the skin when
  // its corner set is alone in its run. The elements are counted and placed
  // in parts, each part's faces of a bucket after those of the parts before.
  auto for_each_face = [&](std::size_t begin, std::size_t end, auto visit) {
    for (std::size_t e = begin; e < end; ++e) {
      const std::span<const std::int32_t> element = corners.subspan(8 * e, 8);
      const bool tet = tetrahedron[e] != 0;
      for (int face = 1; face <= (tet ? 4 : 6); ++face) {
        std::uint32_t sorted[4];
        if (SortedFace(element, tet, face, sorted) >= 3) {
          visit(sorted, static_cast<std::uint32_t>(8 * e) + static_cast<std::uint32_t>(face));
        }
      }
    }
  };
  const std::size_t buckets = static_cast<std::size_t>(node_count);
  // Each part's counts cost a word per node: a few parts do.
  const int count_parts = std::clamp(jobs, 1, 4);
  std::vector<std::vector<std::uint32_t>> place(static_cast<std::size_t>(count_parts));
  std::vector<std::pair<std::size_t, std::size_t>> ranges(place.size(), {0, 0});
  const int parts_run =
      ForEachPart(count_parts, elements, [&](int part, std::size_t begin, std::size_t end) {
        std::vector<std::uint32_t>& count = place[static_cast<std::size_t>(part)];
        count.assign(buckets, 0);
        ranges[static_cast<std::size_t>(part)] = {begin, end};
        for_each_face(begin, end,
                      [&](const std::uint32_t* sorted, std::uint32_t) { ++count[sorted[0]]; });
      });
  // bucket_end[b]: the end of bucket b; place[p][b]: where part p's faces
  // of bucket b go.
  std::vector<std::uint32_t> bucket_end(buckets, 0);
  std::uint32_t total = 0;
  for (std::size_t b = 0; b < buckets; ++b) {
    for (int part = 0; part < parts_run; ++part) {
      std::uint32_t& slot = place[static_cast<std::size_t>(part)][b];
      const std::uint32_t count = slot;
      slot = total;
      total += count;
    }
    bucket_end[b] = total;
  }
  std::vector<BucketFace> faces(total);
  ForEachPart(parts_run, static_cast<std::size_t>(parts_run),
              [&](int, std::size_t first_part, std::size_t end_part) {
                for (std::size_t part = first_part; part < end_part; ++part) {
                  std::vector<std::uint32_t>& next = place[part];
                  for_each_face(
                      ranges[part].first, ranges[part].second,
                      [&](const std::uint32_t* sorted, std::uint32_t origin) {
                        faces[next[sorted[0]]++] = {{sorted[1], sorted[2], sorted[3]}, origin};
                      });
                }
              });
  place.clear();
  place.shrink_to_fit();

  std::vector<std::vector<std::uint32_t>> skin_parts(static_cast<std::size_t>(std::max(jobs, 1)));
  std::vector<std::int64_t> interior_parts(skin_parts.size(), 0);
  const int parts = ForEachPart(jobs, buckets, [&](int part, std::size_t begin, std::size_t end) {
    std::vector<std::uint32_t>& skin = skin_parts[static_cast<std::size_t>(part)];
    std::int64_t shared = 0;
    for (std::size_t b = begin; b < end; ++b) {
      BucketFace* first = faces.data() + (b == 0 ? 0 : bucket_end[b - 1]);
      BucketFace* last = faces.data() + bucket_end[b];
      std::sort(first, last, [](const BucketFace& x, const BucketFace& y) {
        return std::tie(x.corners[0], x.corners[1], x.corners[2]) <
               std::tie(y.corners[0], y.corners[1], y.corners[2]);
      });
      while (first != last) {
        BucketFace* run_end = first + 1;
        while (run_end != last && run_end->SameCorners(*first)) ++run_end;
        // A face of two elements is one interior face.
        if (run_end - first == 1) {
          skin.push_back(first->origin);
        } else {
          ++shared;
        }
        first = run_end;
      }
    }
    interior_parts[static_cast<std::size_t>(part)] = shared;
  });
  std::vector<std::uint32_t> skin;
  interior = 0;
  for (int part = 0; part < parts; ++part) {
    const auto k = static_cast<std::size_t>(part);
    skin.insert(skin.end(), skin_parts[k].begin(), skin_parts[k].end());
    interior += interior_parts[k];
  }
  std::sort(skin.begin(), skin.end());
  return skin;
}

namespace {

// The element's type as a refusal names it.
std::string TypeName(const LocalElementType* type, std::int32_t itype) {
  if (type == nullptr) return "type " + std::to_string(itype) + ", not defined";
  return type->name.empty() ? "type " + std::to_string(itype) : type->name;
}

constexpr std::uint8_t kSurfaceEffectShape = 1;

// The elements in file order: each is of a volume type, has its corners,
// and no corner refused, or is a surface-effect element with its four
// corners. Gives their shapes (0 for a field cell, 4 for a tetrahedron, 8
// for a brick, kSurfaceEffectShape) by element position.
std::vector<std::uint8_t> CheckVolumeRecords(const ModelRecords& records, const ModelIndex& index) {
  std::vector<std::uint8_t> shape(records.element_numbers.size(), 0);
  for (std::int64_t i = 0; i < records.element_count(); ++i) {
    const auto k = static_cast<std::size_t>(i);
    const std::int32_t number = records.element_numbers[k];
    if (index.is_field_cell[k]) {
      std::int32_t corners[4];
      SurfaceCorners(records, i, corners);
      for (const std::int32_t corner : corners) CheckCorner(records, index, i, corner);
      continue;
    }
    const std::int32_t itype = records.element_types[k];
    const LocalElementType* type = records.types.Find(itype);
    const ElementClass element_class =
        type == nullptr ? ElementClass::kUnknown : type->element_class;
    if (type != nullptr && IsSurfaceEffect(*type)) {
      std::int32_t corners[4];
      SurfaceCorners(records, i, corners);
      for (const std::int32_t corner : corners) CheckCorner(records, index, i, corner);
      shape[k] = kSurfaceEffectShape;
      continue;
    }
    if (element_class != ElementClass::kVolume) {
      StopWithModelError(ElementNotVolume(number, TypeName(type, itype),
                                          element_class == ElementClass::kSurface
                                              ? std::string_view("a surface element")
                                              : ClassPhrase(element_class)),
                         {.rule = StopRule::kTypeNotVolume, .element = number, .itype = itype});
    }
    const int corner_count = VolumeCorners(type->number, type->keyopt1);
    const std::int32_t nodes = records.element_node_counts[k];
    if (nodes < corner_count || records.stored_nodes_of(i) < corner_count) {
      StopWithModelError(ElementWithoutCorners(number, nodes, corner_count));
    }
    const std::int32_t* corners = records.nodes_of(i);
    for (int n = 0; n < corner_count; ++n) CheckCorner(records, index, i, corners[n]);
    shape[k] = static_cast<std::uint8_t>(corner_count);
  }
  return shape;
}

// The volume elements of `shape` (their positions), their corners as node
// positions, eight per element, and which are tetrahedra.
void VolumeCornerPositions(const ModelRecords& records, const ModelIndex& index,
                           const std::vector<std::uint8_t>& shape,
                           std::vector<std::int32_t>& volume_elements,
                           std::vector<std::int32_t>& corners,
                           std::vector<std::uint8_t>& tetrahedron) {
  for (std::size_t i = 0; i < shape.size(); ++i) {
    if (shape[i] == 4 || shape[i] == 8) volume_elements.push_back(static_cast<std::int32_t>(i));
  }
  if (volume_elements.size() >= (std::size_t{1} << 29)) RaiseDiagnostic(kArraySizeOverflow);
  corners.assign(8 * volume_elements.size(), 0);
  tetrahedron.assign(volume_elements.size(), 0);
  for (std::size_t v = 0; v < volume_elements.size(); ++v) {
    const auto i = static_cast<std::size_t>(volume_elements[v]);
    const std::int32_t* nodes = records.nodes_of(static_cast<std::int64_t>(i));
    tetrahedron[v] = shape[i] == 4;
    for (int n = 0; n < shape[i]; ++n) {
      corners[8 * v + static_cast<std::size_t>(n)] =
          static_cast<std::int32_t>(index.nodes.Find(nodes[n]));
    }
  }
}

// Where the pressures of the model go on the skin: a volume element's key
// names its face; a surface-effect element's key 1 goes to the skin face it
// lies on, its other keys are no face pressures.
class SkinPressures {
 public:
  SkinPressures(const ModelRecords& records, const ModelIndex& index,
                const std::vector<std::int32_t>& volume_elements,
                const std::vector<std::uint8_t>& tetrahedron,
                const std::vector<std::uint32_t>& skin,
                const std::vector<std::int32_t>& face_corners,
                const std::vector<std::uint8_t>& shape)
      : tetrahedron_(tetrahedron), skin_(skin), shape_(shape), place_(shape.size(), -1) {
    for (std::size_t v = 0; v < volume_elements.size(); ++v) {
      place_[static_cast<std::size_t>(volume_elements[v])] = static_cast<std::int32_t>(v);
    }
    std::vector<std::int32_t> effects;  // element positions
    for (std::size_t i = 0; i < shape.size(); ++i) {
      if (shape[i] != kSurfaceEffectShape) continue;
      place_[i] = static_cast<std::int32_t>(effects.size());
      effects.push_back(static_cast<std::int32_t>(i));
    }
    effect_faces_ = SkinFacesOfSurfaceEffects(records, index, face_corners, effects);
    const auto off = std::count(effect_faces_.begin(), effect_faces_.end(), 0);
    if (off != 0) PrintWarning(SurfaceEffectsOffTheSkin(off));
  }

  // By element position, 1 for a surface-effect element (its material is
  // not the body's); empty when the model has none.
  std::vector<std::uint8_t> SurfaceEffectMarks() const {
    std::vector<std::uint8_t> marks;
    if (effect_faces_.empty()) return marks;
    marks.resize(shape_.size());
    std::transform(shape_.begin(), shape_.end(), marks.begin(),
                   [](std::uint8_t s) { return s == kSurfaceEffectShape; });
    return marks;
  }

  std::optional<SurfacePressure> On(const ModelIndex& index, const PressureValues& pressure) const {
    const std::int64_t i = index.elements.Find(pressure.element);
    if (i < 0 || place_[static_cast<std::size_t>(i)] < 0) return std::nullopt;
    const auto at = static_cast<std::size_t>(place_[static_cast<std::size_t>(i)]);
    if (shape_[static_cast<std::size_t>(i)] == kSurfaceEffectShape) {
      const std::int32_t face = effect_faces_[at];
      if (face == 0) return std::nullopt;
      const double value = MeanPressure(pressure.values);
      const bool face_pressure = pressure.key == 1;
      return SurfacePressure{face < 0 ? -face : face, 1, face < 0 ? -value : value, face_pressure};
    }
    const bool tet = tetrahedron_[at] != 0;
    if (pressure.key < 1 || pressure.key > (tet ? 4 : 6)) return std::nullopt;
    const std::uint32_t origin =
        8 * static_cast<std::uint32_t>(at) + static_cast<std::uint32_t>(pressure.key);
    const auto found = std::lower_bound(skin_.begin(), skin_.end(), origin);
    if (found == skin_.end() || *found != origin) return std::nullopt;
    const double* p = pressure.values;
    // ANSYS writes a fourth value 0 for a tetrahedron's three corners.
    const double value = tet ? ((p[0] + p[1]) + p[2]) / 3.0 : MeanPressure(p);
    return SurfacePressure{static_cast<std::int32_t>(found - skin_.begin() + 1), 1, value};
  }

 private:
  const std::vector<std::uint8_t>& tetrahedron_;
  const std::vector<std::uint32_t>& skin_;
  const std::vector<std::uint8_t>& shape_;
  // By element position: its place among the volume elements, or among the
  // surface-effect elements; -1 for the others.
  std::vector<std::int32_t> place_;
  std::vector<std::int32_t> effect_faces_;  // by place: +k, -k or 0 (see SkinFacesOfSurfaceEffects)
};
}  // namespace

void BuildSkinModel(const ModelRecords& records, RunTables& run, SurfaceOrigins& origins,
                    int jobs) {
  ModelIndex index;
  IndexModel(records, index);
  const std::vector<std::uint8_t> shape = CheckVolumeRecords(records, index);

  // The volume elements' corners as node positions, eight per element.
  std::vector<std::int32_t> volume_elements;  // element positions
  std::vector<std::int32_t> corners;
  std::vector<std::uint8_t> tetrahedron;
  VolumeCornerPositions(records, index, shape, volume_elements, corners, tetrahedron);
  std::int64_t interior = 0;
  const std::vector<std::uint32_t> skin =
      FindSkinFaces(corners, tetrahedron, records.node_count(), interior, jobs);

  // Surface element k: skin face k, its corners in the face's order.
  SurfaceModel surface;
  surface.new_node_number.assign(records.node_numbers.size(), 0);
  std::vector<std::int32_t> face_corners;  // node positions, 4 per face
  face_corners.reserve(4 * skin.size());
  for (const std::uint32_t origin : skin) {
    const std::size_t v = origin / 8;
    const int face = static_cast<int>(origin % 8);
    std::int32_t out[4];
    const int count = FaceCorners(std::span<const std::int32_t>(corners).subspan(8 * v, 8),
                                  tetrahedron[v] != 0, face, out);
    if (count == 3) out[3] = out[2];
    for (const std::int32_t p : out) {
      face_corners.push_back(p);
      surface.new_node_number[static_cast<std::size_t>(p)] = 1;
    }
    origins.element_numbers.push_back(
        records.element_numbers[static_cast<std::size_t>(volume_elements[v])]);
    origins.element_faces.push_back(static_cast<std::int8_t>(face));
  }
  for (const std::int32_t p : index.nodes.PositionsByNumber()) {
    if (surface.new_node_number[static_cast<std::size_t>(p)] == 0) continue;
    surface.nodes.push_back(p);
    surface.new_node_number[static_cast<std::size_t>(p)] =
        static_cast<std::int32_t>(surface.nodes.size());
  }
  surface.corners.resize(face_corners.size());
  for (std::size_t n = 0; n < face_corners.size(); ++n) {
    surface.corners[n] = surface.new_node_number[static_cast<std::size_t>(face_corners[n])];
  }

  const SkinPressures pressures(records, index, volume_elements, tetrahedron, skin, face_corners,
                                shape);
  surface.not_of_body = pressures.SurfaceEffectMarks();
  surface.pressure_on = [&](const PressureValues& pressure) {
    return pressures.On(index, pressure);
  };
  surface.constraint_dropped_why = kConstraintsOffTheSkin;
  surface.pressure_dropped_why = kPressuresOffTheSkin;
  FillSurfaceTables(records, index, surface, run, jobs);

  // The volume elements and the field cells are what the skin reads.
  std::vector<std::uint8_t> read(shape.size(), 0);
  for (std::size_t i = 0; i < shape.size(); ++i) read[i] = shape[i] != 0 || index.is_field_cell[i];
  CountReadTypes(records, read, run);

  origins.faces = true;
  origins.skin_faces = static_cast<std::int64_t>(skin.size());
  origins.interior_faces = interior;
  NoteNodeOrigins(records, index, surface, origins);
}
