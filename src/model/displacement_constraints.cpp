#include "model/displacement_constraints.h"

#include <algorithm>
#include <array>

#include "textio/diagnostics.h"
#include "textio/fixed_layout.h"

namespace {

void SetDefaults(RunTables& run) {
  std::fill_n(run.TriangleBcValues.data(), run.TriangleBcValues.size(), 0.0);
  std::fill_n(run.TriangleBcKinds.data(), run.TriangleBcKinds.size(), kTractionPrescribed);
  std::fill_n(run.NodeDisplacements.data(), run.NodeDisplacements.size(), kNotGiven);
  std::fill_n(run.TriangleConstraintCounts.data(), run.TriangleConstraintCounts.size(), 0);
}

int DirectionOfLabel(std::string_view label) {
  if (label == ",UX  ,  ") return 1;
  if (label == ",UY  ,  ") return 2;
  if (label == ",UZ  ,  ") return 3;
  return 0;
}

void ReadConstraintRecords(InputFile& model, RunTables& run) {
  std::array<char, kLineBufferLength> line_buffer;
  std::array<char, 8> node_text;
  std::array<char, 8> label_text;
  std::array<char, 16> value_text;
  const ReadItem items[] = {std::span<char>(line_buffer), std::span<char>(node_text),
                            std::span<char>(label_text), std::span<char>(value_text)};
  for (;;) {
    // The command fields are taken only from the records they matter for.
    const std::string_view record = model.ReadRecord();
    const LineBuffer command = LeadingColumns(record, 2);
    if (TextIs(command, "D,")) {
      ReadFixedFields(record, kConstraintLayout, items);
      const std::int32_t node = TextToInteger(std::string_view(node_text.data(), node_text.size()));
      const int direction = DirectionOfLabel(std::string_view(label_text.data(), label_text.size()));
      if (direction == 0) continue;
      const double value = TextToReal(std::string_view(value_text.data(), value_text.size()));
      if (node < 1 || node > run.NodeCount) {
        PrintWarning(ConstraintNodeIgnored(node, run.NodeCount));
        continue;
      }
      run.NodeDisplacements(direction, node) = value;
    } else if (TextIs(command, "FI")) {
      return;
    }
  }
}

}  // namespace

void ReadDisplacementConstraints(InputFile& model, RunTables& run) {
  SetDefaults(run);
  if (run.HasDisplacements) ReadConstraintRecords(model, run);

  for (std::int32_t t = 1; t <= run.TriangleCount; ++t) {
    const std::int32_t* corners = run.TriangleNodes.Column(t);
    std::int32_t* counts = run.TriangleConstraintCounts.Column(t);
    for (int k = 0; k < 3; ++k) {
      const double* displacement = run.NodeDisplacements.Column(corners[k]);
      for (int d = 0; d < 3; ++d) {
        // NaN differs from kNotGiven and counts as given.
        if (!(displacement[d] == kNotGiven)) ++counts[d];
      }
    }
  }
  for (std::int32_t t = 1; t <= run.TriangleCount; ++t) {
    const std::int32_t* corners = run.TriangleNodes.Column(t);
    const std::int32_t* counts = run.TriangleConstraintCounts.Column(t);
    for (int d = 1; d <= 3; ++d) {
      if (counts[d - 1] != 3) continue;
      run.TriangleBcKinds(d, t) = kDisplacementPrescribed;
      run.TriangleBcValues(d, t) = ((run.NodeDisplacements(d, corners[0]) +
                                     run.NodeDisplacements(d, corners[1])) +
                                    run.NodeDisplacements(d, corners[2])) /
                                   3.0;
    }
  }
}
