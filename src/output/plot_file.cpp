#include "output/plot_file.h"

#include "textio/fixed_layout.h"
#include "textio/free_form.h"

void WritePlotFile(OutputFile& file, const RunTables& run) {
  WriteFreeForm(file, {"TITLE = \"A BEM Model for a Potential Problem\" "});
  // Written as a comment, 8 characters like the record it stands for: a bare
  // ZONES" record stops Tecplot readers.
  file.WriteRecord("#ZONES\" ");
  WriteFreeForm(file, {"VARIABLES = \"X\", \"Y\", \"Z\""});
  WriteFreeForm(file, {"ZONE T=\"Model\", N=", run.NodeCount, ", E=", run.TriangleCount,
                       "DATAPACKING=POINT, ZONETYPE=FETRIANGLE"});
  for (std::int32_t i = 1; i <= run.NodeCount; ++i) {
    const double* xyz = run.NodeCoords.Column(i);
    WriteFixedRecord(file, kPlotCoordinateLayout, {xyz[0], xyz[1], xyz[2]});
  }
  WriteFreeForm(file, {});
  for (std::int32_t t = 1; t <= run.TriangleCount; ++t) {
    const std::int32_t* corners = run.TriangleNodes.Column(t);
    WriteFixedRecord(file, kPlotTriangleLayout, {corners[0], corners[1], corners[2]});
  }
  if (run.FieldPointCount == 0) return;
  WriteFreeForm(file, {"ZONE T=\"Field Points\", N=", run.FieldPointCount, ", E=",
                       run.FieldCellCount, "DATAPACKING=POINT, ZONETYPE=FEQUADRILATERAL"});
  for (std::int32_t j = 1; j <= run.FieldPointCount; ++j) {
    const double* xyz = run.FieldPointCoords.Column(j);
    WriteFixedRecord(file, kPlotCoordinateLayout, {xyz[0], xyz[1], xyz[2]});
  }
  WriteFreeForm(file, {});
  for (std::int32_t k = 1; k <= run.FieldCellCount; ++k) {
    const std::int32_t* corners = run.FieldCellNodes.Column(k);
    WriteFixedRecord(file, kPlotCellLayout, {corners[0], corners[1], corners[2], corners[3]});
  }
}
