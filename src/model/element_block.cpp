#include "model/element_block.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <utility>
#include <vector>

#include "model/cdb_rows.h"
#include "model/element_types.h"
#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "threads/parallel_records.h"

namespace {

// Finds the element format record; returns the width of its fields.
std::size_t FindElementFormat(InputFile& model) {
  for (;;) {
    const std::size_t width = ElementFieldWidth(model.ReadRecord());
    if (width != 0) return width;
  }
}

}  // namespace

bool IsElementFormat(std::string_view record) { return ElementFieldWidth(record) != 0; }

std::size_t ElementFieldWidth(std::string_view record) {
  for (const ElementFormat& format : kElementFormats) {
    if (record.starts_with(format.text)) return format.width;
  }
  return 0;
}

std::string ElementFormatList() {
  std::vector<std::string_view> texts;
  for (const ElementFormat& format : kElementFormats) texts.push_back(format.text);
  return FormatList(texts);
}

namespace {

struct ElementRecord {
  std::int32_t number;
  std::int32_t corners[4];    // I, J, K, L
  std::int32_t itype = 0;     // the local element type, the record's second value
  bool cut_along_ik = false;  // a quadrilateral's cut, when `cut_known`
  bool cut_known = false;
  std::int32_t material = 0;  // the record's first value
};

// ANSYS writes an element's node count as the ninth value of its record. A
// volume element of more than eight nodes goes on in the next record; a mass
// or line element's record is too short and the read takes the next one.
// Read on, everything after it would be out of step: such a model is refused.
bool IsNonSurfaceElement(std::int32_t node_count, const FreeFormExtent& extent) {
  return (node_count > 8 && extent.MoreValuesInRecord()) ||
         ((node_count == 1 || node_count == 2) && extent.value_records > 1);
}

void RefuseNonSurfaceElement(std::int32_t number, std::int32_t itype, std::int32_t node_count,
                             const FreeFormExtent& extent) {
  if (IsNonSurfaceElement(node_count, extent)) {
    StopWithModelError(ElementNotSurface(number, node_count),
                       {.rule = StopRule::kNodesNotSurface, .element = number, .itype = itype});
  }
}

// The local type of an element record, when the model defines it as an
// element that is no surface (a volume, 2-D, line, point, contact, ...
// element); null otherwise, and always when the model defines no types.
const LocalElementType* RefusedType(const ElementTypes& types, std::int32_t itype) {
  if (types.empty()) return nullptr;
  const LocalElementType* type = types.Find(itype);
  return type != nullptr && IsRefusedClass(type->element_class) ? type : nullptr;
}

}  // namespace

void RefuseElementOfType(const ElementTypes& types, std::int32_t number, std::int32_t itype) {
  if (const LocalElementType* type = RefusedType(types, itype)) {
    StopWithModelError(ElementOfRefusedType(number, type->name, ClassPhrase(type->element_class)),
                       {.rule = StopRule::kTypeNotSurface, .element = number, .itype = itype});
  }
}

namespace {

// The fifteen values of an element record: ten attributes, of which the
// ninth is the node count, then the element number and I, J, K, L.
struct ElementValues {
  std::int32_t attribute = 0;
  std::int32_t node_count = 0;
  ElementRecord element{0, {0, 0, 0, 0}, 0, false, false};

  std::array<FreeFormTarget, 15> Targets() {
    return {element.material,   element.itype,      attribute,         attribute,
            attribute,          attribute,          attribute,         attribute,
            node_count,         attribute,          element.number,    element.corners[0],
            element.corners[1], element.corners[2], element.corners[3]};
  }
};

// Hands a free-form read a record already read, then the file's next ones.
struct HeldThenFile {
  std::string_view held;
  InputFile& file;
  bool given = false;
  bool operator()(std::string_view& record) {
    if (std::exchange(given, true)) return file.NextRecord(record);
    record = held;
    return true;
  }
};

// The values of the next element record: by its columns where its fields
// fill them, else by the free-form read, which may go on into the records
// after it.
void ReadElementValues(InputFile& model, std::size_t width, ElementValues& values,
                       FreeFormExtent& extent) {
  const std::string_view record = model.ReadRecord();
  std::array<std::int32_t, 15> columns;
  const std::array<FreeFormTarget, 15> targets = values.Targets();
  if (TakeFilledColumnIntegers(record, width, columns)) {
    for (std::size_t k = 0; k < columns.size(); ++k) *targets[k].integer = columns[k];
    extent.value_records = 1;
    extent.rest = record.substr(columns.size() * width);
    return;
  }
  HeldThenFile source{record, model};
  const FreeFormStatus status = ParseFreeForm(source, targets, &extent);
  if (status != FreeFormStatus::kDone) {
    RaiseRowFailure(model, status, static_cast<std::int64_t>(model.record_offset()));
  }
}

ElementRecord ReadElementRecord(InputFile& model, std::size_t width, const RunTables& run) {
  ElementValues values;
  FreeFormExtent extent;
  ReadElementValues(model, width, values, extent);
  RefuseElementOfType(run.Types, values.element.number, values.element.itype);
  RefuseNonSurfaceElement(values.element.number, values.element.itype, values.node_count, extent);
  return values.element;
}

double DiagonalLength(const double* a, const double* b) {
  double dx = a[0] - b[0];
  double dy = a[1] - b[1];
  double dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void CheckElement(const ElementRecord& element, const RunTables& run) {
  if (element.number < 1 || element.number > run.ElementCount) {
    StopWithModelError(ElementNumberOutOfRange(element.number, run.ElementCount),
                       {.rule = StopRule::kOutsideCounts, .element = element.number});
  }
  for (std::int32_t node : element.corners) {
    if (node < 1 || node > run.NodeCount) {
      StopWithModelError(
          ElementNodeOutOfRange(element.number, node, run.NodeCount),
          {.rule = StopRule::kOutsideCounts, .element = element.number, .node = node});
    }
  }
}

// Field-cell corners become field-point numbers, wrapping as 32-bit
// arithmetic does for numbers no model holds.
std::int32_t FieldPointNumber(std::int32_t node, std::int32_t node_count) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(node) -
                                   static_cast<std::uint32_t>(node_count));
}

}  // namespace

bool CutAlongIK(const double* i, const double* j, const double* k, const double* l) {
  // Cut along the shorter diagonal so that neither triangle is a sliver.
  return DiagonalLength(j, l) > DiagonalLength(i, k);
}

namespace {

// Numbers the triangles of one boundary element, whose cut is known or its
// corners a triangle: the next one or two after TriangleCount, recorded in
// ElementTriangles. Returns the first.
std::int32_t NumberTriangles(RunTables& run, const ElementRecord& element) {
  const std::int32_t first = run.TriangleCount + 1;
  run.TriangleCount += element.corners[2] == element.corners[3] ? 1 : 2;
  run.ElementTriangles(element.number, 1) = first;
  run.ElementTriangles(element.number, 2) = run.TriangleCount;
  return first;
}

// Writes the corners of the triangles that NumberTriangles numbered from
// `first`.
void WriteTriangles(RunTables& run, std::int32_t first, const ElementRecord& element) {
  const auto [i, j, k, l] = element.corners;
  const auto put = [&run](std::int32_t t, std::int32_t a, std::int32_t b, std::int32_t c) {
    std::int32_t* corners = run.TriangleNodes.Column(t);
    corners[0] = a;
    corners[1] = b;
    corners[2] = c;
  };
  if (k == l) {
    put(first, i, j, k);
  } else if (element.cut_along_ik) {
    put(first, i, j, k);
    put(first + 1, i, k, l);
  } else {
    put(first, i, j, l);
    put(first + 1, j, k, l);
  }
}

// Makes the triangles of one boundary element, checked against the tables.
void AddElement(RunTables& run, ElementRecord element) {
  CheckElement(element, run);
  const auto [i, j, k, l] = element.corners;
  if (!element.cut_known && k != l) {
    element.cut_along_ik = CutAlongIK(run.NodeCoords.Column(i), run.NodeCoords.Column(j),
                                      run.NodeCoords.Column(k), run.NodeCoords.Column(l));
  }
  WriteTriangles(run, NumberTriangles(run, element), element);
}

}  // namespace

void AddSurfaceElement(RunTables& run, std::int32_t number, const std::int32_t corners[4]) {
  ElementRecord element{number, {corners[0], corners[1], corners[2], corners[3]}, 0, false, false};
  AddElement(run, element);
}

namespace {

void AddFieldCell(RunTables& run, std::int32_t c, const ElementRecord& cell) {
  std::int32_t* corners = run.FieldCellNodes.Column(c);
  for (int n = 0; n < 4; ++n) corners[n] = FieldPointNumber(cell.corners[n], run.NodeCount);
}

// Counts the record under its local type, for the check.
void CountType(RunTables& run, std::int32_t itype) {
  if (run.Types.empty()) return;
  const LocalElementType* type = run.Types.Find(itype);
  if (type == nullptr) {
    ++run.ElementsOfUndefinedType;
  } else {
    ++run.ElementsOfType[static_cast<std::size_t>(type - run.Types.types().data())];
  }
}

// The field cell at position p of the block, from 0, counted from 1.
std::int32_t FieldCellPosition(const RunTables& run, std::int64_t p) {
  return static_cast<std::int32_t>(p + 1 - std::max(run.ElementCount, 0));
}

// Position p of the block, from 0: a boundary element up to ElementCount,
// then a field cell.
void AddRecord(RunTables& run, std::int64_t p, const ElementRecord& element) {
  CountType(run, element.itype);
  if (p < run.ElementCount) {
    run.Notes.NoteMaterial(element.material);
    AddElement(run, element);
  } else {
    AddFieldCell(run, FieldCellPosition(run, p), element);
  }
}

// Hands a free-form read the one record `next` points to, and no other.
struct OneRecord {
  const std::string_view* next;
  bool operator()(std::string_view& record) {
    if (next == nullptr) return false;
    record = *std::exchange(next, nullptr);
    return true;
  }
};

// The element of a record of `width`-column fields, with its node count, as
// the free-form read takes it; false for any other record.
bool TakeColumnElement(std::string_view record, std::size_t width, ElementRecord& element,
                       std::int32_t& node_count) {
  std::array<std::int32_t, 15> values;
  // The material, the type, the node count, the element number and the four
  // corners.
  constexpr std::uint32_t kWanted = 1u | 1u << 1 | 1u << 8 | 1u << 10 | 0xfu << 11;
  if (!TakeElementColumns(record, width, values, kWanted)) return false;
  element.material = values[0];
  element.itype = values[1];
  node_count = values[8];
  element.number = values[10];
  std::copy(values.begin() + 11, values.end(), element.corners);
  return true;
}

// The element record `record` when it holds the whole read by itself and
// everything in it is regular (a boundary element inside the tables); false
// when it is not, and the record by record reading must take it.
bool ParseSingleRecord(std::string_view record, std::size_t width, bool boundary,
                       const RunTables& run, ElementRecord& element) {
  std::int32_t node_count = 0;
  if (TakeColumnElement(record, width, element, node_count)) {
    // All fifteen values come from this record, so only a node count above
    // eight with more values after them refuses it: left to the reading
    // record by record.
    if (node_count > 8) return false;
  } else {
    ElementValues values;
    OneRecord next{&record};
    FreeFormExtent extent;
    if (ParseFreeForm(next, values.Targets(), &extent) != FreeFormStatus::kDone ||
        IsNonSurfaceElement(values.node_count, extent)) {
      return false;
    }
    element = values.element;
  }
  if (RefusedType(run.Types, element.itype) != nullptr) return false;
  if (!boundary) return true;
  if (element.number < 1 || element.number > run.ElementCount) return false;
  for (std::int32_t node : element.corners) {
    if (node < 1 || node > run.NodeCount) return false;
  }
  const auto [i, j, k, l] = element.corners;
  element.cut_along_ik = CutAlongIK(run.NodeCoords.Column(i), run.NodeCoords.Column(j),
                                    run.NodeCoords.Column(k), run.NodeCoords.Column(l));
  element.cut_known = true;
  return true;
}

}  // namespace

void ReadElementBlock(InputFile& model, RunTables& run, int jobs) {
  const std::size_t width = FindElementFormat(model);
  run.TriangleCount = 0;
  run.ElementsOfType.assign(run.Types.types().size(), 0);
  run.ElementsOfUndefinedType = 0;
  const std::int64_t element_count = std::max(run.ElementCount, 0);
  const std::int64_t total = element_count + std::max(run.FieldCellCount, 0);
  // The records are read in batches on the view that each record is one
  // element. The first record for which that is not sure (a read that runs
  // over into the next record, a value that fails, an element the run
  // refuses) is read alone by the record by record reading, which takes it
  // exactly as it takes every record in sequence; the batches go on after it.
  std::int64_t done = 0;
  std::vector<ElementRecord> elements;
  // Counts and triangle numbers follow the records' order: a batch taken is
  // added to the tables (the records from position `taken_first` on) by the
  // thread that converts the first piece of the next batch, while the others
  // convert the rest; what is left is added before a record read alone and
  // at the end.
  std::vector<ElementRecord> taken;
  std::size_t taken_count = 0;
  std::int64_t taken_first = 0;
  const auto add_taken = [&] {
    const std::size_t count = std::exchange(taken_count, 0);
    for (std::size_t k = 0; k < count; ++k) {
      AddRecord(run, taken_first + static_cast<std::int64_t>(k), taken[k]);
    }
  };
  ReadInBatches(model, jobs, static_cast<std::size_t>(total),
                {.prepare = [&](std::size_t count) { elements.resize(count); },
                 .convert =
                     [&](BatchRecords records, std::size_t begin, std::size_t end) {
                       if (begin == 0) add_taken();
                       for (std::size_t k = begin; k < end; ++k) {
                         elements[k] = ElementRecord{0, {0, 0, 0, 0}, 0, false, false};
                         const bool boundary = done + static_cast<std::int64_t>(k) < element_count;
                         if (!ParseSingleRecord(records[k], width, boundary, run, elements[k]))
                           return k;
                       }
                       return end;
                     },
                 .take =
                     [&](BatchRecords records, std::size_t converted) {
                       add_taken();  // a batch that had no first piece to convert
                       taken.swap(elements);
                       taken_count = converted;
                       taken_first = done;
                       done += static_cast<std::int64_t>(converted);
                       return ConvertedRecordsTaken(records, converted);
                     },
                 .read_alone =
                     [&] {
                       add_taken();
                       AddRecord(run, done, ReadElementRecord(model, width, run));
                       ++done;
                     }});
  add_taken();
}
