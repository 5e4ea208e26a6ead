// Whole runs of the built program, each in a fresh directory, compared byte
// for byte with the expected files of a case folder tests/e2e/<case>/:
//   ANSYS_Model.cdb          the model (absent: the run has no model file)
//   model.txt                instead, the path of a model of the repository
//   existing/input.dat|plt   output files present before the run
//   input.dat, input.plt     the files after the run; when absent, the file
//                            must be as in existing/ (or not exist at all)
//   stdout.txt, stderr.txt   the console text (absent: nothing); "@DIR@"
//                            stands for the absolute path of the directory
//   status.txt               the exit status as the shell sees it
// Only the date of the run (columns 69-77 of the title record of input.dat)
// is masked, and only after a run that ended with status 0.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "e2e/e2e_case.h"
#include "test_support.h"
#include "threads/parallel_records.h"

namespace {

namespace fs = std::filesystem;
using test_support::AppendExponent;
using test_support::AppendInteger;
using test_support::MaskDate;
using test_support::ReadFile;
using test_support::RunProgram;
using test_support::RunResult;
using test_support::ScopedTempDir;

using e2e_case::ExpectedText;
using e2e_case::kE2eDir;
using e2e_case::ReadIfPresent;
const fs::path kExampleModel = fs::path(CDB2BEM_SOURCE_DIR) / "examples" / "ANSYS_Model.cdb";
constexpr std::string_view kClosingLine = "  Data Translation from ANSYS to BEM is done!\r\n";
constexpr std::size_t kDateStart = 68;  // column 69, counted from 0
constexpr std::size_t kDateWidth = 9;
constexpr const char* kOutputNames[] = {"input.dat", "input.plt"};

std::string DateOf(const std::string& dat) {
  const std::size_t title_end = dat.find('\n');
  if (title_end == std::string::npos || title_end < kDateStart + kDateWidth) return "";
  return dat.substr(kDateStart, kDateWidth);
}

// Records with their line ends, a last record without one included.
std::vector<std::string> Records(const std::string& text) {
  std::vector<std::string> records;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    records.push_back(text.substr(start, end - start));
    start = end;
  }
  return records;
}

std::string Shown(const std::vector<std::string>& records, std::size_t n) {
  if (n >= records.size()) return "(no record)";
  std::string shown = "[";
  for (char c : records[n])
    shown += c == '\r' ? std::string("\\r") : c == '\n' ? "\\n" : std::string(1, c);
  return shown + "]";
}

void ExpectSameBytes(std::string_view what, const std::string& expected,
                     const std::string& actual) {
  if (expected == actual) return;
  const std::vector<std::string> want = Records(expected);
  const std::vector<std::string> got = Records(actual);
  std::size_t n = 0;
  while (n < want.size() && n < got.size() && want[n] == got[n]) ++n;
  ADD_FAILURE() << what << " differs first in record " << n + 1 << " of " << want.size()
                << " expected (" << got.size() << " written)\n  expected: " << Shown(want, n)
                << "\n  actual:   " << Shown(got, n);
}

// DD-MON-YY: a day of two digits, a month of the calendar, two digits of the year.
void ExpectDateShape(const std::string& date) {
  static const std::string kMonths = "JAN FEB MAR APR MAY JUN JUL AUG SEP OCT NOV DEC";
  const auto digit = [&](std::size_t i) {
    return i < date.size() && std::isdigit(static_cast<unsigned char>(date[i])) != 0;
  };
  const bool digits = digit(0) && digit(1) && digit(7) && digit(8);
  const int day = digits ? std::stoi(date.substr(0, 2)) : 0;
  const std::size_t month =
      date.size() == kDateWidth ? kMonths.find(date.substr(3, 3)) : std::string::npos;
  EXPECT_TRUE(digits && day >= 1 && day <= 31 && date[2] == '-' && date[6] == '-' &&
              month != std::string::npos && month % 4 == 0)
      << "date [" << date << "]";
}

std::string LocalDate() {
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::snprintf(text, sizeof text, "%02d-%s-%02d", local.tm_mday, kMonths[local.tm_mon],
                local.tm_year % 100);
  return text;
}

// A case, and the threads the run is given: none (the plain command line,
// as many as there are cores), one, or two and three.
class EndToEnd : public testing::TestWithParam<std::tuple<const char*, const char*>> {};

TEST_P(EndToEnd, RunMatchesExpectedFiles) {
  const auto [case_name, jobs] = GetParam();
  const fs::path case_dir = kE2eDir / case_name;
  ASSERT_TRUE(fs::is_regular_file(case_dir / "README.md")) << case_dir;
  ScopedTempDir temp;
  const fs::path work = fs::canonical(temp.path());
  e2e_case::PrepareCase(case_dir, work);

  const RunResult result = std::string_view(jobs).empty()
                               ? RunProgram(work)
                               : test_support::RunProgramWith(work, {jobs});
  const int status = std::stoi(ReadFile(case_dir / "status.txt"));
  EXPECT_EQ(result.status, status);
  ExpectSameBytes("standard output", ExpectedText(case_dir / "stdout.txt", work), result.out);
  ExpectSameBytes("standard error", ExpectedText(case_dir / "stderr.txt", work), result.err);
  for (const char* name_text : kOutputNames) {
    const std::string name = name_text;
    SCOPED_TRACE(name);
    std::optional<std::string> expected = ReadIfPresent(case_dir / name);
    if (!expected) expected = ReadIfPresent(case_dir / "existing" / name);  // left untouched
    const std::optional<std::string> actual = ReadIfPresent(work / name);
    if (!expected) {
      EXPECT_FALSE(actual.has_value()) << name << " was created";
      continue;
    }
    ASSERT_TRUE(actual.has_value()) << name << " is missing";
    if (status == 0 && name == "input.dat") {
      ExpectDateShape(DateOf(*actual));
      ExpectSameBytes(name, MaskDate(*expected), MaskDate(*actual));
    } else {
      ExpectSameBytes(name, *expected, *actual);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EndToEnd,
    testing::Combine(testing::Values("four_node_example", "bundled_example", "no_conditions",
                                     "quadrilaterals_only", "pressures_spread_over_the_file",
                                     "field_points_and_cells", "field_points_without_cells",
                                     "field_points_backwards", "node_layout1_numbering",
                                     "overwrite_longer_output", "corner_outside_nodes",
                                     "fail_volume_element", "fail_volume_element_untyped",
                                     "fail_missing_model", "fail_structure_error",
                                     "fail_missing_finish", "fail_node_conversion",
                                     "fail_element_syntax", "fail_pressure_element_text",
                                     "fail_constraint_value"),
                     testing::Values("", "-j1")),
    [](const testing::TestParamInfo<std::tuple<const char*, const char*>>& param_info) {
      const std::string jobs = std::get<1>(param_info.param);
      return std::string(std::get<0>(param_info.param)) +
             (jobs.empty() ? "" : "_j" + jobs.substr(2));
    });

TEST(EndToEndDate, TitleCarriesTheLocalDateOfTheRun) {
  ScopedTempDir temp;
  fs::copy_file(kE2eDir / "four_node_example" / "ANSYS_Model.cdb", temp.path() / "ANSYS_Model.cdb");
  const std::string before = LocalDate();
  ASSERT_EQ(RunProgram(temp.path()).status, 0);
  const std::string after = LocalDate();
  const std::string date = DateOf(ReadFile(temp.path() / "input.dat"));
  ExpectDateShape(date);
  EXPECT_TRUE(date == before || date == after)
      << date << " is neither " << before << " nor " << after;
}

TEST(EndToEndExample, TranslatesCleanlyAndTheSameTwiceApartFromTheDate) {
  ScopedTempDir temp;
  const fs::path work = temp.path();
  fs::copy_file(kExampleModel, work / "ANSYS_Model.cdb");
  const RunResult first = RunProgram(work);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(first.out, kClosingLine);
  // The files themselves are pinned by the bundled_example case.
  const std::string dat = ReadFile(work / "input.dat");
  const std::string plt = ReadFile(work / "input.plt");

  const RunResult second = RunProgram(work);
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.out, first.out);
  EXPECT_EQ(second.err, "");
  ExpectSameBytes("input.dat", MaskDate(dat), MaskDate(ReadFile(work / "input.dat")));
  ExpectSameBytes("input.plt", plt, ReadFile(work / "input.plt"));
}

// A model of more records than one reading batch takes (65536), so that
// the threads split batches and meet records continued across them: a plane
// grid of quadrilaterals (a triangle element every seventh), its first row
// fixed, a pressure on every eleventh element, field points and cells after
// them. Every thread count writes the same bytes as one thread.
std::string GridModel(int side) {
  const int nodes = side * side, elements = (side - 1) * (side - 1);
  const int field_side = 4, points = field_side * field_side, cells = 9;
  std::string text = "/PREP7\n*ELSE\n";
  char line[256];
  std::snprintf(line, sizeof line, "NUMOFF,NODE,%9d\nNUMOFF,ELEM,%9d\nET,        1,181\n",
                nodes + points, elements + cells);
  text += line;
  text.reserve(static_cast<std::size_t>(nodes) * 250);
  text += "NBLOCK,6,SOLID\n(3i9,6e21.13e3)\n";
  for (int n = 0; n < nodes + points; ++n) {
    const bool field = n >= nodes;
    const int k = field ? n - nodes : n, row_length = field ? field_side : side;
    AppendInteger(text, n + 1, 9);
    text += "        0        0";
    AppendExponent(text, 0.5 * (k % row_length) + (field ? 0.25 : 0.0), 21, 13);
    AppendExponent(text, 0.25 * (k / row_length), 21, 13);
    AppendExponent(text, field ? -1.0 : 0.001 * ((k * 7919) % 13), 21, 13);
    text += '\n';
  }
  text += "N,R5.3,LOC,       -1,\nEBLOCK,19,SOLID\n(19i9)\n";
  for (int e = 0; e < elements + cells; ++e) {
    const bool cell = e >= elements;
    const int k = cell ? e - elements : e, row_length = cell ? field_side - 1 : side - 1;
    const int base = (cell ? nodes : 0) + (k / row_length) * (row_length + 1) + k % row_length + 1;
    const int i = base, j = base + 1, kk = base + row_length + 2, l = base + row_length + 1;
    text +=
        "        1        1        1        1        0        0        0        0        4        0";
    for (int value : {e + 1, i, j, kk, !cell && e % 7 == 3 ? kk : l}) AppendInteger(text, value, 9);
    text += '\n';
  }
  text += "       -1\n";
  std::snprintf(line, sizeof line,
                "CMBLOCK,FIELDCELLS,ELEM,       2\n(8i10)\n%10d%10d\n"
                "CMBLOCK,FIELDPOINTS,NODE,       2\n(8i10)\n%10d%10d\n",
                elements + 1, -(elements + cells), nodes + 1, -(nodes + points));
  text += line;
  for (int n = 1; n <= side; ++n) {
    for (const char* d : {"UX", "UY", "UZ"}) {
      std::snprintf(line, sizeof line, "D,%7d,%s  , 0.000000000E+00, 0.000000000E+00\n", n, d);
      text += line;
    }
  }
  for (int e = 1; e <= elements; e += 11) {
    std::snprintf(line, sizeof line,
                  "SFE,%9d,   1,PRES, 0,R5.0\n  %10.6f %10.6f %10.6f %10.6f\n\n\n", e, 1.0 + e % 5,
                  2.0, 3.0, 4.0);
    text += line;
  }
  // Loads the solver does not take, past the half of the file that a thread
  // searches for the scans.
  return text + "F,       1,FX  ,1\nCP,1,UX,1,2\nFINISH\n";
}

TEST(EndToEndThreads, ModelsOfSeveralBatchesTranslateTheSameOnAnyThreads) {
  ScopedTempDir temp;
  const fs::path work = temp.path();
  test_support::WriteFile(work / "ANSYS_Model.cdb", GridModel(270));  // 72900 nodes, 72361 elements
  // The plain command line runs as many threads as DefaultJobCount gives:
  // run it too when that is none of the counts given here.
  std::vector<std::vector<std::string>> runs = {{"-j1"}, {"-j2"}, {"-j3"}};
  if (DefaultJobCount() > 3) runs.push_back({});
  std::string dat, plt, err;
  for (const std::vector<std::string>& args : runs) {
    SCOPED_TRACE(args.empty() ? "no -j" : args[0]);
    // Each run replaces the outputs of the one before.
    const RunResult run = test_support::RunProgramWith(work, args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kClosingLine);
    // A sheet with holes, its first row of 270 nodes fixed: no triangle has
    // three corners in that row. The warnings are the same on any threads.
    EXPECT_TRUE(run.err.starts_with(" Warning: the triangles are no closed surface: ")) << run.err;
    EXPECT_NE(
        run.err.find("\r\n Warning: 1 record of nodal forces and moments (F) not translated: "
                     "the solver takes loads as element pressures (SFE with PRES)\r\n Warning: "
                     "1 record of couplings and constraint equations (CP, CE) not translated: "
                     "the solver takes neither\r\n"),
        std::string::npos)
        << run.err;
    EXPECT_TRUE(
        run.err.ends_with("\r\n Warning: 270 constrained nodes reach no triangle: a "
                          "triangle takes a displacement only where all three corners are "
                          "constrained in its direction; constrain whole faces\r\n"))
        << run.err;
    if (err.empty()) err = run.err;
    EXPECT_EQ(run.err, err);
    const std::string this_dat = MaskDate(ReadFile(work / "input.dat"));
    const std::string this_plt = ReadFile(work / "input.plt");
    if (dat.empty()) {
      dat = this_dat;
      plt = this_plt;
      // 269 x 269 elements, every seventh a triangle: 2 x 72361 - 10337 triangles.
      EXPECT_NE(dat.find("\r\n      134385       72900      0 "), std::string::npos);
      continue;
    }
    ExpectSameBytes("input.dat", dat, this_dat);
    ExpectSameBytes("input.plt", plt, this_plt);
  }
}

TEST(EndToEndPlot, VtkTecplotReaderLoadsPlotFiles) {
  CDB2BEM_NEED_PYTHON_MODULES("vtkmodules", "python3-vtk9");
  const std::string command =
      "/usr/bin/python3 '" + (kE2eDir / "plot_vtk_check.py").string() + "' '" + CDB2BEM_BINARY +
      "' '" + kExampleModel.string() + "' '" +
      (kE2eDir / "field_points_and_cells" / "ANSYS_Model.cdb").string() + "' '" +
      (kE2eDir / "field_points_without_cells" / "ANSYS_Model.cdb").string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
