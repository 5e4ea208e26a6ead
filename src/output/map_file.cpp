#include "output/map_file.h"

#include <charconv>
#include <cstdint>

namespace {

// One row: kind, number, ANSYS number and the face when there is one.
void WriteRow(OutputFile& file, std::string_view kind, std::int64_t number,
              std::int32_t ansys_number, int face) {
  constexpr std::size_t kMostLength = 64;
  char* out = file.ReserveRecord(kMostLength);
  char* p = std::copy(kind.begin(), kind.end(), out);
  *p++ = ',';
  p = std::to_chars(p, out + kMostLength, number).ptr;
  *p++ = ',';
  p = std::to_chars(p, out + kMostLength, ansys_number).ptr;
  *p++ = ',';
  if (face != 0) p = std::to_chars(p, out + kMostLength, face).ptr;
  file.CommitRecord(static_cast<std::size_t>(p - out));
}

}  // namespace

void WriteMapFile(OutputFile& file, const RunTables& run, const SurfaceOrigins& origins) {
  file.WriteRecord("kind,number,ansys_number,ansys_face");
  const std::int64_t nodes = run.NodeCount;
  for (std::int64_t i = 1; i <= nodes; ++i) {
    WriteRow(file, "node", i, origins.node_numbers[static_cast<std::size_t>(i - 1)], 0);
  }
  for (std::int64_t j = 1; j <= run.FieldPointCount; ++j) {
    WriteRow(file, "field point", j, origins.node_numbers[static_cast<std::size_t>(nodes + j - 1)],
             0);
  }
  // Surface elements make their triangles in their order.
  for (std::int32_t k = 1; k <= run.ElementCount; ++k) {
    const auto e = static_cast<std::size_t>(k - 1);
    for (std::int32_t t = run.ElementTriangles(k, 1); t != 0 && t <= run.ElementTriangles(k, 2);
         ++t) {
      WriteRow(file, "triangle", t, origins.element_numbers[e], origins.element_faces[e]);
    }
  }
  for (std::int64_t c = 1; c <= run.FieldCellCount; ++c) {
    WriteRow(file, "field cell", c, origins.field_cell_numbers[static_cast<std::size_t>(c - 1)], 0);
  }
}
