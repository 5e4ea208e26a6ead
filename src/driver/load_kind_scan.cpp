#include "driver/load_kind_scan.h"

#include "textio/fixed_layout.h"

void ScanLoadKinds(InputFile& model, RunTables& run) {
  for (;;) {
    const LineBuffer line_buffer = ReadProbe(model, kLoadCommandProbe);
    // Every "D," record counts: constrained nodes numbered from 100000 on
    // leave no blanks after the comma, and their constraints must not be lost.
    if (line_buffer.substr(0, 2) == "D,") {
      run.HasDisplacements = true;
    } else if (line_buffer == "SFE,") {
      if (!run.HasPressures) run.FirstPressureCommandOffset = model.record_offset();
      run.HasPressures = true;
    }
    if (line_buffer == "FINI") return;
  }
}
