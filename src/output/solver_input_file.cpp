#include "output/solver_input_file.h"

#include <array>

#include "textio/fixed_layout.h"
#include "textio/free_form.h"

namespace {

constexpr std::string_view kSolverTypeText =
    "   1                              ! Solver Type (1=FMM; 2=ACA; 3=Direct solver)";
constexpr std::string_view kCountText = "      0           ! No. of Elements, Nodes and field points";
constexpr std::string_view kRemoteLoadingText =
    "          0                              ! Number of remote stress loading";
constexpr std::string_view kMaterialText =
    "      1.0d0       0.3d0                  ! Material constants E and v";
constexpr std::string_view kDualEquationText =
    "      1.0d0       0.0d0                  ! alpha, beta (in dual BIE)";

}  // namespace

void WriteSolverInputFile(OutputFile& file, const RunTables& run) {
  std::array<char, 9> date;
  DateText(date);
  WriteFixedRecord(file, kTitleLayout, {std::string_view(date.data(), date.size())});
  WriteFixedRecord(file, kSolverTypeLayout, {kSolverTypeText});
  // The solver counts triangles as its elements; its field-point count is always "0".
  WriteFixedRecord(file, kCountLayout, {run.TriangleCount, run.NodeCount, kCountText});
  WriteFreeForm(file, {kRemoteLoadingText});
  WriteFreeForm(file, {kMaterialText});
  WriteFreeForm(file, {kDualEquationText});

  WriteFreeForm(file, {"$ Nodes:"});
  for (std::int32_t i = 1; i <= run.NodeCount; ++i) {
    const double* xyz = run.NodeCoords.Column(i);
    WriteFixedRecord(file, kSolverNodeLayout, {i, xyz[0], xyz[1], xyz[2]});
  }

  WriteFreeForm(file, {"$ Elements and Boundary Conditions:"});
  for (std::int32_t t = 1; t <= run.TriangleCount; ++t) {
    const std::int32_t* corners = run.TriangleNodes.Column(t);
    const std::int32_t* kinds = run.TriangleBcKinds.Column(t);
    const double* values = run.TriangleBcValues.Column(t);
    WriteFixedRecord(file, kTriangleLayout,
                     {t, corners[0], corners[1], corners[2], kinds[0], kinds[1], kinds[2],
                      values[0], values[1], values[2]});
  }

  WriteFreeForm(file, {"$ Field Points"});
  for (std::int32_t j = 1; j <= run.FieldPointCount; ++j) {
    const double* xyz = run.FieldPointCoords.Column(j);
    WriteFixedRecord(file, kSolverFieldPointLayout, {j, xyz[0], xyz[1], xyz[2]});
  }

  WriteFreeForm(file, {"$ Field Cells"});
  for (std::int32_t k = 1; k <= run.FieldCellCount; ++k) {
    const std::int32_t* corners = run.FieldCellNodes.Column(k);
    WriteFreeForm(file, {k, corners[0], corners[1], corners[2], corners[3]});
  }

  WriteFreeForm(file, {"$ End of the File"});
}
