#include "model/pressure_loads.h"

#include <array>
#include <cmath>

#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "textio/number_read.h"

namespace {

struct Normal {
  double x, y, z, length;
};

Normal CrossNormal(const RunTables& run, std::int32_t t) {
  const std::int32_t* corners = run.TriangleNodes.Column(t);
  const double* a = run.NodeCoords.Column(corners[0]);
  const double* b = run.NodeCoords.Column(corners[1]);
  const double* c = run.NodeCoords.Column(corners[2]);
  const double abx = b[0] - a[0], aby = b[1] - a[1], abz = b[2] - a[2];
  const double acx = c[0] - a[0], acy = c[1] - a[1], acz = c[2] - a[2];
  Normal n;
  n.x = aby * acz - abz * acy;
  n.y = abz * acx - abx * acz;
  n.z = abx * acy - aby * acx;
  n.length = std::sqrt((n.x * n.x + n.y * n.y) + n.z * n.z);
  return n;
}

bool IsUsable(double length) { return length != 0.0 && std::isfinite(length); }

void ApplyTraction(RunTables& run, std::int32_t t, const double traction[3]) {
  for (int d = 1; d <= 3; ++d) {
    run.TriangleBcKinds(d, t) = kTractionPrescribed;
    run.TriangleBcValues(d, t) = traction[d - 1];
  }
}

void ApplyPressure(RunTables& run, std::int32_t element, double pressure) {
  if (element < 1 || element > run.ElementCount) {
    PrintWarning(PressureElementOutOfRange(element, run.ElementCount));
    return;
  }
  const std::int32_t first = run.ElementTriangles(element, 1);
  const std::int32_t second = run.ElementTriangles(element, 2);
  if (first == 0) {
    PrintWarning(PressureElementWithoutTriangles(element));
    return;
  }
  Normal n = CrossNormal(run, first);
  // A degenerate first triangle has no normal; the element's other triangle may.
  if (!IsUsable(n.length)) {
    Normal other = CrossNormal(run, second);
    if (second == first || !IsUsable(other.length)) {
      PrintWarning(PressureWithoutNormal(element));
      return;
    }
    PrintWarning(PressureUsesSecondTriangle(element));
    n = other;
  }
  const double u[3] = {n.x / n.length, n.y / n.length, n.z / n.length};
  // A positive pressure pushes against the normal.
  const double traction[3] = {-(pressure * u[0]), -(pressure * u[1]), -(pressure * u[2])};
  ApplyTraction(run, first, traction);
  ApplyTraction(run, second, traction);
  run.ElementLoaded(element, 1) = 1;
}

}  // namespace

static_assert(HoldsOnlyTextFields(kPressureLayout));

void ReadPressureLoads(InputFile& model, RunTables& run) {
  std::array<char, kLineBufferLength> line_buffer;
  std::array<char, 8> element_text;
  std::array<char, 8> unused_text;
  std::array<char, 16> label_text;
  const ReadItem items[] = {std::span<char>(line_buffer), std::span<char>(element_text),
                            std::span<char>(unused_text), std::span<char>(label_text)};
  for (;;) {
    // The command fields are taken only from the records they matter for.
    const std::string_view record = model.ReadRecord();
    const LineBufferView command = LeadingColumns(record, kPressureLayout[0].width);
    bool is_pressure = false;
    if (TextIs(command, "SFE,")) {
      // A read of text fields only cannot fail (its flag says nothing).
      static_cast<void>(ReadFixedFields(record, kPressureLayout, items));
      is_pressure = TextIs(std::string_view(label_text.data(), label_text.size()), "PRES");
    }
    if (is_pressure) {
      const std::int32_t element =
          TextToInteger(std::string_view(element_text.data(), element_text.size()));
      double p1 = 0.0, p2 = 0.0, p3 = 0.0, p4 = 0.0;
      ReadFreeForm(model, {p1, p2, p3, p4});
      ApplyPressure(run, element, (((p1 + p2) + p3) + p4) * 0.25);
      ReadFixedRecord(model, kRecordSkipLayout, {});
    } else if (TextIs(command, "FINI")) {
      return;
    }
  }
}
