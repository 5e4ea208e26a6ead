#include "output/vtu_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cstring>
#include <functional>
#include <new>
#include <string_view>
#include <vector>

#include "textio/diagnostics.h"

namespace {

// The cells of one kind that go to the file: all but those with a corner
// that is no point of the file.
struct KeptCells {
  std::int64_t count = 0;              // cells of the kind in the tables
  std::vector<std::int64_t> left_out;  // their 0-based positions, ascending

  std::int64_t kept() const { return count - static_cast<std::int64_t>(left_out.size()); }

  // Calls visit(begin, end) for each run [begin, end) of kept cells, in order.
  template <class Visit>
  void ForEachRun(Visit visit) const {
    std::int64_t begin = 0;
    for (std::int64_t skip : left_out) {
      if (skip > begin) visit(begin, skip);
      begin = skip + 1;
    }
    if (count > begin) visit(begin, count);
  }
};

// `corners` holds `per_cell` point numbers per cell, valid from 1 to `last`.
KeptCells FindKeptCells(const std::int32_t* corners, int per_cell, std::int64_t count,
                        std::int64_t last, const char* kind) {
  KeptCells cells;
  cells.count = count;
  std::int32_t first_corner = 0;
  for (std::int64_t c = 0; c < count; ++c) {
    for (int k = 0; k < per_cell; ++k) {
      const std::int32_t corner = corners[c * per_cell + k];
      if (corner >= 1 && corner <= last) continue;
      if (cells.left_out.empty()) first_corner = corner;
      try {
        cells.left_out.push_back(c);
      } catch (const std::bad_alloc&) {
        RaiseDiagnostic(kInsufficientMemory);
      }
      break;
    }
  }
  if (!cells.left_out.empty()) {
    PrintWarning(CellsLeftOutOfVtu(static_cast<std::int64_t>(cells.left_out.size()), kind,
                                   cells.left_out.front() + 1, first_corner, last));
  }
  return cells;
}

// One data array of the file: its place in the header and its block.
struct ArrayLayout {
  const char* section;  // the element of the piece that holds it
  const char* name;
  const char* type;
  int item_bytes;
  int components;
  std::int64_t tuples;

  std::uint64_t bytes() const {
    return static_cast<std::uint64_t>(item_bytes) * static_cast<std::uint64_t>(components) *
           static_cast<std::uint64_t>(tuples);
  }
};

std::string Header(std::span<const ArrayLayout> arrays, std::int64_t points, std::int64_t cells) {
  const bool little = std::endian::native == std::endian::little;
  std::string text = "<?xml version=\"1.0\"?>\n";
  text += "<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"";
  text += little ? "LittleEndian" : "BigEndian";
  text += "\" header_type=\"UInt64\">\n  <UnstructuredGrid>\n";
  text += "    <Piece NumberOfPoints=\"" + std::to_string(points) + "\" NumberOfCells=\"" +
          std::to_string(cells) + "\">\n";
  // The blocks follow one another in the order of `arrays`.
  std::vector<std::uint64_t> offsets;
  std::uint64_t offset = 0;
  for (const ArrayLayout& array : arrays) {
    offsets.push_back(offset);
    offset += sizeof(std::uint64_t) + array.bytes();
  }
  // The header lists them in the opposite order. A reader that turns the raw
  // blocks into base64 ones one after the other, looking each up by its
  // offset, renumbers the offsets as it goes; listed in block order, a
  // renumbered earlier array could take a later one's raw offset and be found
  // in its place (meshio does this). Readers look the arrays up by name, so
  // the order of the header is free.
  const char* open = nullptr;
  for (std::size_t i = arrays.size(); i-- > 0;) {
    const ArrayLayout& array = arrays[i];
    if (open == nullptr || std::strcmp(open, array.section) != 0) {
      if (open != nullptr) text += "      </" + std::string(open) + ">\n";
      open = array.section;
      text += "      <" + std::string(open) + ">\n";
    }
    text += "        <DataArray type=\"" + std::string(array.type) + "\" Name=\"";
    text += std::string(array.name) + "\"";
    if (array.components > 1) {
      text += " NumberOfComponents=\"" + std::to_string(array.components) + "\"";
    }
    text += " format=\"appended\" offset=\"" + std::to_string(offsets[i]) + "\"/>\n";
  }
  if (open != nullptr) text += "      </" + std::string(open) + ">\n";
  text += "    </Piece>\n  </UnstructuredGrid>\n  <AppendedData encoding=\"raw\">\n   _";
  return text;
}

// Writes the blocks of the appended section: each a 64-bit byte count, then
// the items, raw.
class BlockWriter {
 public:
  explicit BlockWriter(OutputFile& file) : file_(file) {}

  void Begin(const ArrayLayout& array) {
    const std::uint64_t bytes = array.bytes();
    file_.WriteBytes(&bytes, sizeof bytes);
    expected_ = bytes;
    written_ = 0;
  }
  void End() const { assert(written_ == expected_ && "block as long as its header says"); }

  // `count` items of type T straight from `data`.
  template <class T>
  void Raw(const T* data, std::int64_t count) {
    const std::size_t bytes = static_cast<std::size_t>(count) * sizeof(T);
    file_.WriteBytes(data, bytes);
    written_ += bytes;
  }

  // `count` items of type T, each the value of next(), built in the file's buffer.
  template <class T, class Next>
  void Items(std::int64_t count, Next next) {
    constexpr std::int64_t kChunk = 32768;
    while (count > 0) {
      const std::int64_t n = std::min(count, kChunk);
      const std::size_t bytes = static_cast<std::size_t>(n) * sizeof(T);
      char* out = file_.ReserveBytes(bytes);
      for (std::int64_t k = 0; k < n; ++k) {
        const T value = next();
        std::memcpy(out + static_cast<std::size_t>(k) * sizeof(T), &value, sizeof(T));
      }
      file_.CommitBytes(bytes);
      written_ += bytes;
      count -= n;
    }
  }

  template <class T>
  void Repeat(std::int64_t count, T value) {
    Items<T>(count, [value] { return value; });
  }

 private:
  OutputFile& file_;
  std::uint64_t expected_ = 0;
  std::uint64_t written_ = 0;
};

// One array of the file and the writer of its block: the block's length is
// the layout's, and End() checks it in builds with assertions.
struct VtuArray {
  ArrayLayout layout;
  std::function<void(BlockWriter&)> write;
};

std::int64_t Clamp(std::int64_t count, std::int64_t columns) {
  return std::clamp<std::int64_t>(count, 0, columns);
}

// The element number of each triangle, 0 where no element names it.
std::vector<std::int32_t> ElementOfTriangles(const RunTables& run, std::int64_t triangles) {
  std::vector<std::int32_t> element;
  try {
    element.assign(static_cast<std::size_t>(triangles), 0);
  } catch (const std::bad_alloc&) {
    RaiseDiagnostic(kInsufficientMemory);
  }
  const std::int64_t elements = run.ElementTriangles.rows();
  for (std::int64_t e = 1; e <= elements; ++e) {
    const std::int64_t first = run.ElementTriangles(e, 1);
    const std::int64_t second = run.ElementTriangles(e, 2);
    if (first < 1 || second < first || second > triangles) continue;
    for (std::int64_t t = first; t <= second; ++t) {
      element[static_cast<std::size_t>(t - 1)] = static_cast<std::int32_t>(e);
    }
  }
  return element;
}

}  // namespace

void WriteVtuFile(OutputFile& file, const RunTables& run,
                  std::span<const std::uint8_t> triangle_flags, const SurfaceOrigins* origins) {
  const std::int64_t nodes = Clamp(run.NodeCount, run.NodeCoords.columns());
  const std::int64_t field_points = Clamp(run.FieldPointCount, run.FieldPointCoords.columns());
  const std::int64_t triangle_count =
      std::min({Clamp(run.TriangleCount, run.TriangleNodes.columns()),
                run.TriangleBcKinds.columns(), run.TriangleBcValues.columns()});
  const std::int64_t cell_count = Clamp(run.FieldCellCount, run.FieldCellNodes.columns());

  const KeptCells triangles =
      FindKeptCells(run.TriangleNodes.data(), 3, triangle_count, nodes, "triangle");
  const KeptCells cells =
      FindKeptCells(run.FieldCellNodes.data(), 4, cell_count, field_points, "field cell");
  std::vector<std::int32_t> element_of = ElementOfTriangles(run, triangle_count);
  // A rebuilt model's triangles are named by the ANSYS element and face.
  std::vector<std::int32_t> face_of;
  if (origins != nullptr) {
    face_of.assign(element_of.size(), 0);
    for (std::size_t t = 0; t < element_of.size(); ++t) {
      if (element_of[t] == 0) continue;
      const auto k = static_cast<std::size_t>(element_of[t] - 1);
      face_of[t] = origins->element_faces[k];
      element_of[t] = origins->element_numbers[k];
    }
  }

  const std::int64_t points = nodes + field_points;
  const std::int64_t kept_triangles = triangles.kept();
  const std::int64_t kept_cells = cells.kept();
  const std::int64_t all_cells = kept_triangles + kept_cells;
  // A counter handing out first, first + step, ... as next() of Items.
  auto count_from = [](std::int64_t first, std::int64_t step) {
    return [value = first - step, step]() mutable { return value += step; };
  };

  // Each array of the file with the writer of its block, in block order.
  std::vector<VtuArray> arrays;
  arrays.push_back({{"PointData", "node", "Int32", 4, 1, points}, [&](BlockWriter& block) {
                      // Field points keep their number in the model.
                      if (origins != nullptr) {
                        block.Raw(origins->node_numbers.data(), points);
                        return;
                      }
                      block.Items<std::int32_t>(points, [next = count_from(1, 1)]() mutable {
                        return static_cast<std::int32_t>(next());
                      });
                    }});
  arrays.push_back({{"CellData", "bc_kind", "Int32", 4, 3, all_cells}, [&](BlockWriter& block) {
                      triangles.ForEachRun([&](std::int64_t b, std::int64_t e) {
                        block.Raw(run.TriangleBcKinds.Column(b + 1), 3 * (e - b));
                      });
                      block.Repeat<std::int32_t>(3 * kept_cells, 0);
                    }});
  arrays.push_back({{"CellData", "bc_value", "Float64", 8, 3, all_cells}, [&](BlockWriter& block) {
                      triangles.ForEachRun([&](std::int64_t b, std::int64_t e) {
                        block.Raw(run.TriangleBcValues.Column(b + 1), 3 * (e - b));
                      });
                      block.Repeat<double>(3 * kept_cells, 0.0);
                    }});
  arrays.push_back({{"CellData", "element", "Int32", 4, 1, all_cells}, [&](BlockWriter& block) {
                      // Field cells follow the boundary elements.
                      triangles.ForEachRun([&](std::int64_t b, std::int64_t e) {
                        block.Raw(element_of.data() + b, e - b);
                      });
                      cells.ForEachRun([&](std::int64_t b, std::int64_t e) {
                        if (origins != nullptr) {
                          block.Raw(origins->field_cell_numbers.data() + b, e - b);
                          return;
                        }
                        block.Items<std::int32_t>(
                            e - b, [next = count_from(run.ElementCount + b + 1, 1)]() mutable {
                              return static_cast<std::int32_t>(next());
                            });
                      });
                    }});
  if (origins != nullptr) {
    arrays.push_back(
        {{"CellData", "ansys_face", "Int32", 4, 1, all_cells}, [&](BlockWriter& block) {
           triangles.ForEachRun(
               [&](std::int64_t b, std::int64_t e) { block.Raw(face_of.data() + b, e - b); });
           block.Repeat<std::int32_t>(kept_cells, 0);
         }});
  }
  arrays.push_back({{"CellData", "triangle", "Int32", 4, 1, all_cells}, [&](BlockWriter& block) {
                      triangles.ForEachRun([&](std::int64_t b, std::int64_t e) {
                        block.Items<std::int32_t>(e - b, [next = count_from(b + 1, 1)]() mutable {
                          return static_cast<std::int32_t>(next());
                        });
                      });
                      block.Repeat<std::int32_t>(kept_cells, 0);
                    }});
  arrays.push_back({{"CellData", "region", "UInt8", 1, 1, all_cells}, [&](BlockWriter& block) {
                      block.Repeat<std::uint8_t>(kept_triangles, 0);
                      block.Repeat<std::uint8_t>(kept_cells, 1);
                    }});
  arrays.push_back({{"CellData", "check", "UInt8", 1, 1, all_cells}, [&](BlockWriter& block) {
                      triangles.ForEachRun([&](std::int64_t b, std::int64_t e) {
                        const auto flags = static_cast<std::int64_t>(triangle_flags.size());
                        const std::int64_t given = std::clamp<std::int64_t>(flags - b, 0, e - b);
                        if (given > 0) block.Raw(triangle_flags.data() + b, given);
                        block.Repeat<std::uint8_t>(e - b - given, 0);
                      });
                      block.Repeat<std::uint8_t>(kept_cells, 0);
                    }});
  arrays.push_back({{"Points", "Points", "Float64", 8, 3, points}, [&](BlockWriter& block) {
                      // Each coordinate table is x, y, z item after item already.
                      block.Raw(run.NodeCoords.data(), 3 * nodes);
                      block.Raw(run.FieldPointCoords.data(), 3 * field_points);
                    }});
  arrays.push_back({{"Cells", "connectivity", "Int32", 4, 1, 3 * kept_triangles + 4 * kept_cells},
                    [&](BlockWriter& block) {
                      // 0-based point ids.
                      triangles.ForEachRun([&](std::int64_t b, std::int64_t e) {
                        const std::int32_t* corner = run.TriangleNodes.Column(b + 1);
                        block.Items<std::int32_t>(3 * (e - b), [&corner] { return *corner++ - 1; });
                      });
                      cells.ForEachRun([&](std::int64_t b, std::int64_t e) {
                        const std::int32_t* corner = run.FieldCellNodes.Column(b + 1);
                        const auto shift = static_cast<std::int32_t>(nodes - 1);
                        block.Items<std::int32_t>(4 * (e - b),
                                                  [&corner, shift] { return *corner++ + shift; });
                      });
                    }});
  arrays.push_back({{"Cells", "offsets", "Int64", 8, 1, all_cells}, [&](BlockWriter& block) {
                      // The end of each cell's corners.
                      block.Items<std::int64_t>(kept_triangles, count_from(3, 3));
                      block.Items<std::int64_t>(kept_cells, count_from(3 * kept_triangles + 4, 4));
                    }});
  arrays.push_back({{"Cells", "types", "UInt8", 1, 1, all_cells}, [&](BlockWriter& block) {
                      block.Repeat<std::uint8_t>(kept_triangles, kVtkTriangle);
                      block.Repeat<std::uint8_t>(kept_cells, kVtkQuad);
                    }});

  std::vector<ArrayLayout> layouts;
  for (const VtuArray& array : arrays) layouts.push_back(array.layout);
  const std::string header = Header(layouts, points, all_cells);
  file.WriteBytes(header.data(), header.size());
  BlockWriter block(file);
  for (const VtuArray& array : arrays) {
    block.Begin(array.layout);
    array.write(block);
    block.End();
  }

  static constexpr std::string_view kTail = "\n  </AppendedData>\n</VTKFile>\n";
  file.WriteBytes(kTail.data(), kTail.size());
}
