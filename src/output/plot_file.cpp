#include "output/plot_file.h"

#include <array>

#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "threads/parallel_records.h"

void WritePlotFile(OutputFile& file, const RunTables& run, int jobs) {
  WriteFreeForm(file, {"TITLE = \"A BEM Model for a Potential Problem\" "});
  // Written as a comment, 8 characters like the record it stands for: a bare
  // ZONES" record stops Tecplot readers.
  file.WriteRecord("#ZONES\" ");
  WriteFreeForm(file, {"VARIABLES = \"X\", \"Y\", \"Z\""});
  WriteFreeForm(file, {"ZONE T=\"Model\", N=", run.NodeCount, ", E=", run.TriangleCount,
                       "DATAPACKING=POINT, ZONETYPE=FETRIANGLE"});
  WriteFixedRecords<kPlotCoordinateLayout>(file, run.NodeCount, jobs, [&](std::int32_t i) {
    const double* xyz = run.NodeCoords.Column(i);
    return std::array<WriteItem, 3>{xyz[0], xyz[1], xyz[2]};
  });
  WriteFreeForm(file, {});
  WriteFixedRecords<kPlotTriangleLayout>(file, run.TriangleCount, jobs, [&](std::int32_t t) {
    const std::int32_t* corners = run.TriangleNodes.Column(t);
    return std::array<WriteItem, 3>{corners[0], corners[1], corners[2]};
  });
  if (run.FieldPointCount == 0) return;
  WriteFreeForm(file, {"ZONE T=\"Field Points\", N=", run.FieldPointCount,
                       ", E=", run.FieldCellCount, "DATAPACKING=POINT, ZONETYPE=FEQUADRILATERAL"});
  WriteFixedRecords<kPlotCoordinateLayout>(file, run.FieldPointCount, jobs, [&](std::int32_t j) {
    const double* xyz = run.FieldPointCoords.Column(j);
    return std::array<WriteItem, 3>{xyz[0], xyz[1], xyz[2]};
  });
  WriteFreeForm(file, {});
  WriteFixedRecords<kPlotCellLayout>(file, run.FieldCellCount, jobs, [&](std::int32_t k) {
    const std::int32_t* corners = run.FieldCellNodes.Column(k);
    return std::array<WriteItem, 4>{corners[0], corners[1], corners[2], corners[3]};
  });
}
