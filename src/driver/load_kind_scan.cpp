#include "driver/load_kind_scan.h"

#include <array>

#include "textio/fixed_layout.h"

void ScanLoadKinds(InputFile& model, RunTables& run) {
  std::array<char, kLineBufferLength> line_buffer;
  std::array<char, 8> scratch;
  for (;;) {
    ReadFixedRecord(model, kLoadCommandProbe,
                    {std::span<char>(line_buffer), std::span<char>(scratch), std::span<char>(scratch)});
    std::string_view first(line_buffer.data(), 4);
    // Every "D," record counts: constrained nodes numbered from 100000 on
    // leave no blanks after the comma, and their constraints must not be lost.
    if (first.substr(0, 2) == "D,") {
      run.HasDisplacements = true;
    } else if (first == "SFE,") {
      if (!run.HasPressures) run.FirstPressureCommandOffset = model.record_offset();
      run.HasPressures = true;
    }
    if (first == "FINI") return;
  }
}
