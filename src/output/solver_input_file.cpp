#include "output/solver_input_file.h"

#include <array>
#include <cstring>
#include <span>

#include "system/clock.h"
#include "textio/fixed_layout.h"
#include "textio/free_form.h"
#include "threads/parallel_records.h"

namespace {

constexpr std::string_view kSolverTypeText =
    "   1                              ! Solver Type (1=FMM; 2=ACA; 3=Direct solver)";
constexpr std::string_view kCountText =
    "      0           ! No. of Elements, Nodes and field points";
constexpr std::string_view kRemoteLoadingText =
    "          0                              ! Number of remote stress loading";
constexpr std::string_view kMaterialText =
    "      1.0d0       0.3d0                  ! Material constants E and v";
constexpr std::string_view kDualEquationText =
    "      1.0d0       0.0d0                  ! alpha, beta (in dual BIE)";

// Fills `buffer` with the local date as "DD-MON-YY", blank-padded or cut.
void DateText(std::span<char> buffer) {
  static constexpr const char* kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                            "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const CalendarDate today = LocalDate();
  char text[10];
  int day = today.day;
  int month = today.month - 1;
  int year = (today.year % 100 + 100) % 100;
  text[0] = static_cast<char>('0' + day / 10);
  text[1] = static_cast<char>('0' + day % 10);
  text[2] = '-';
  std::memcpy(text + 3, kMonths[month], 3);
  text[6] = '-';
  text[7] = static_cast<char>('0' + year / 10);
  text[8] = static_cast<char>('0' + year % 10);
  for (std::size_t k = 0; k < buffer.size(); ++k) buffer[k] = k < 9 ? text[k] : ' ';
}

}  // namespace

void WriteSolverInputFile(OutputFile& file, const RunTables& run, int jobs,
                          std::string_view material_text) {
  std::array<char, 9> date;
  DateText(date);
  WriteFixedRecord<kTitleLayout>(file, {std::string_view(date.data(), date.size())});
  WriteFixedRecord<kSolverTypeLayout>(file, {kSolverTypeText});
  // The solver counts triangles as its elements; its field-point count is always "0".
  WriteFixedRecord<kCountLayout>(file, {run.TriangleCount, run.NodeCount, kCountText});
  WriteFreeForm(file, {kRemoteLoadingText});
  WriteFreeForm(file, {material_text.empty() ? kMaterialText : material_text});
  WriteFreeForm(file, {kDualEquationText});

  WriteFreeForm(file, {"$ Nodes:"});
  WriteFixedRecords<kSolverNodeLayout>(file, run.NodeCount, jobs, [&](std::int32_t i) {
    const double* xyz = run.NodeCoords.Column(i);
    return std::array<WriteItem, 4>{i, xyz[0], xyz[1], xyz[2]};
  });

  WriteFreeForm(file, {"$ Elements and Boundary Conditions:"});
  WriteFixedRecords<kTriangleLayout>(file, run.TriangleCount, jobs, [&](std::int32_t t) {
    const std::int32_t* corners = run.TriangleNodes.Column(t);
    const std::int32_t* kinds = run.TriangleBcKinds.Column(t);
    const double* values = run.TriangleBcValues.Column(t);
    return std::array<WriteItem, 10>{t,        corners[0], corners[1], corners[2], kinds[0],
                                     kinds[1], kinds[2],   values[0],  values[1],  values[2]};
  });

  WriteFreeForm(file, {"$ Field Points"});
  WriteFixedRecords<kSolverFieldPointLayout>(file, run.FieldPointCount, jobs, [&](std::int32_t j) {
    const double* xyz = run.FieldPointCoords.Column(j);
    return std::array<WriteItem, 4>{j, xyz[0], xyz[1], xyz[2]};
  });

  WriteFreeForm(file, {"$ Field Cells"});
  for (std::int32_t k = 1; k <= run.FieldCellCount; ++k) {
    const std::int32_t* corners = run.FieldCellNodes.Column(k);
    WriteFreeForm(file, {k, corners[0], corners[1], corners[2], corners[3]});
  }

  WriteFreeForm(file, {"$ End of the File"});
}
