#include "model/element_block.h"

#include <cmath>

#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"

namespace {

void FindElementFormat(InputFile& model) {
  for (;;) {
    const std::string_view record = model.ReadRecord();
    const LineBufferView line_buffer = LeadingColumns(record, kProbeWidth6[0].width);
    if (TextIs(line_buffer, "(19i8)") || TextIs(line_buffer, "(19i9)")) return;
    // Current releases write ten-column element fields.
    if (record.substr(0, 7) == "(19i10)") return;
  }
}

struct ElementRecord {
  std::int32_t number;
  std::int32_t corners[4];  // I, J, K, L
};

// ANSYS writes an element's node count as the ninth value of its record. A
// volume element of more than eight nodes goes on in the next record; a mass
// or line element's record is too short and the read takes the next one.
// Read on, everything after it would be out of step: such a model is refused.
void RefuseNonSurfaceElement(std::int32_t number, std::int32_t node_count,
                             const FreeFormExtent& extent) {
  if ((node_count > 8 && extent.MoreValuesInRecord()) ||
      ((node_count == 1 || node_count == 2) && extent.value_records > 1)) {
    StopWithModelError(ElementNotSurface(number, node_count));
  }
}

ElementRecord ReadElementRecord(InputFile& model) {
  std::int32_t attribute = 0;
  std::int32_t node_count = 0;
  ElementRecord element{0, {0, 0, 0, 0}};
  FreeFormExtent extent;
  ReadFreeForm(model,
               {attribute, attribute, attribute, attribute, attribute, attribute, attribute,
                attribute, node_count, attribute, element.number, element.corners[0],
                element.corners[1], element.corners[2], element.corners[3]},
               &extent);
  RefuseNonSurfaceElement(element.number, node_count, extent);
  return element;
}

double DiagonalLength(const double* a, const double* b) {
  double dx = a[0] - b[0];
  double dy = a[1] - b[1];
  double dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

void CheckElement(const ElementRecord& element, const RunTables& run) {
  if (element.number < 1 || element.number > run.ElementCount) {
    StopWithModelError(ElementNumberOutOfRange(element.number, run.ElementCount));
  }
  for (std::int32_t node : element.corners) {
    if (node < 1 || node > run.NodeCount) {
      StopWithModelError(ElementNodeOutOfRange(element.number, node, run.NodeCount));
    }
  }
}

void AddTriangle(RunTables& run, std::int32_t a, std::int32_t b, std::int32_t c) {
  std::int32_t* corners = run.TriangleNodes.Column(++run.TriangleCount);
  corners[0] = a;
  corners[1] = b;
  corners[2] = c;
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

void ReadElementBlock(InputFile& model, RunTables& run) {
  FindElementFormat(model);
  run.TriangleCount = 0;
  for (std::int32_t record = 1; record <= run.ElementCount; ++record) {
    const ElementRecord element = ReadElementRecord(model);
    CheckElement(element, run);
    const auto [i, j, k, l] = element.corners;
    const std::int32_t first = run.TriangleCount + 1;
    if (k == l) {
      AddTriangle(run, i, j, k);
    } else if (CutAlongIK(run.NodeCoords.Column(i), run.NodeCoords.Column(j),
                          run.NodeCoords.Column(k), run.NodeCoords.Column(l))) {
      AddTriangle(run, i, j, k);
      AddTriangle(run, i, k, l);
    } else {
      AddTriangle(run, i, j, l);
      AddTriangle(run, j, k, l);
    }
    run.ElementTriangles(element.number, 1) = first;
    run.ElementTriangles(element.number, 2) = run.TriangleCount;
  }
  for (std::int32_t c = 1; c <= run.FieldCellCount; ++c) {
    const ElementRecord cell = ReadElementRecord(model);
    std::int32_t* corners = run.FieldCellNodes.Column(c);
    for (int n = 0; n < 4; ++n) corners[n] = FieldPointNumber(cell.corners[n], run.NodeCount);
  }
}
