// Displacement constraints and pressure loads, read as a run reads them: load
// kind scan, element block, constraints, then the pressure pass.
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "driver/load_kind_scan.h"
#include "model/displacement_constraints.h"
#include "model/element_block.h"
#include "model/pressure_loads.h"
#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

using Point = std::array<double, 3>;

// Element 1 is the triangle (1,0,0), (0,1,0), (0,0,1); element 2 a rectangle
// cut into triangles 4-5-6 and 5-7-6; element 3 has a degenerate first
// triangle, element 4 two (it is listed twice, so element 5 is never carried).
// The first triangles of elements 6 and 7 have a normal that is not a number
// (a corner at NaN; corners near the largest double, whose products overflow
// to inf - inf), their second triangles the normal (0, 0, 1); the normal of
// the triangle element 8 overflows to an infinite length.
const std::vector<Point> kPoints = {
    {1, 0, 0}, {0, 1, 0},   {0, 0, 1},         {0, 0, 0},     {2, 0, 0},    {0, 1, 0}, {2, 1, 0},
    {0, 0, 0}, {1, 0, 0},   {1, 1, 0},         {2, 0, 0},     {0, 0, 0},    {1, 0, 0}, {2, 0, 0},
    {3, 0, 0}, {NAN, 0, 0}, {1e308, 1e308, 0}, {1e300, 0, 0}, {0, 1e300, 0}};
const int kNodes = 19, kElements = 8, kTriangles = 14;
const std::string kMesh =
    "(19i8)\n1 1 1 0 0 0 0 0 3 0 1 1 2 3 3\n1 1 1 0 0 0 0 0 4 0 2 4 5 7 6\n1 1 1 0 0 0 0 0 4 0 3 8 9 10 11\n"
    "1 1 1 0 0 0 0 0 4 0 4 12 13 14 15\n1 1 1 0 0 0 0 0 4 0 4 12 13 14 15\n"
    "1 1 1 0 0 0 0 0 4 0 6 16 9 10 6\n1 1 1 0 0 0 0 0 4 0 7 17 9 10 6\n1 1 1 0 0 0 0 0 3 0 8 4 18 19 19\n";

struct Pass {
  RunTables run;
  int status = -1;  // the status the run ended with, -1 when every reader returned
  std::string err;
};

Pass RunPasses(const std::string& text) {
  test_support::WriteFile("ANSYS_Model.cdb", text);
  InputFile model("ANSYS_Model.cdb", kModelUnit);
  Pass pass;
  RunTables& run = pass.run;
  run.NodeCount = kNodes;
  run.ElementCount = kElements;
  const test_support::RunResult ended = test_support::CatchRunEnded([&] {
    ScanLoadKinds(model, run);
    AllocateTables(run);
    // Leftovers in every entry that a default must replace; the values are
    // allocated zero, their default.
    std::fill_n(run.TriangleBcKinds.data(), run.TriangleBcKinds.size(), 9);
    std::fill_n(run.NodeDisplacements.data(), run.NodeDisplacements.size(), 7.0);
    for (int n = 0; n < kNodes; ++n)
      std::copy_n(kPoints[std::size_t(n)].data(), 3, run.NodeCoords.Column(n + 1));
    model.Reopen();
    ReadElementBlock(model, run);
    ReadDisplacementConstraints(model, run);
    if (run.HasPressures) {
      model.Reopen();
      ReadPressureLoads(model, run);
    }
  });
  pass.status = ended.status;
  pass.err = ended.err;
  return pass;
}

struct Condition {
  int triangle;
  std::array<int, 3> kinds;
  std::array<double, 3> values;
};
Condition Traction(int triangle, double x, double y, double z) {
  return {triangle, {2, 2, 2}, {x, y, z}};
}

// A pressure command: its record, its values, and its second value set,
// passed over (it would load element 1 if it were read).
std::string Pressure(const char* element, const char* values) {
  return std::string("SFE,") + element + ",   1,PRES, 1,R5.0\n" + values +
         "\nSFE,        1,   1,PRES, 2,R5.0\n1 1 1 1\n";
}
// The same with the key text given.
std::string PressureWithKey(const char* element, const char* key, const char* values) {
  return std::string("SFE,") + element + "," + key + ",PRES, 0,R5.0\n" + values + "\n\n\n";
}
const std::string kUz45 = "D,      4,UZ  , 1.000000000E+00, 0.000000000E+00\nD,      5,UZ  ,2.0\n";
const double kU = -0.5773502691896258;

TEST(BoundaryConditions, ConditionsOfEveryTriangle) {
  struct Case {
    const char* name;
    std::string records;                   // after the element block
    std::vector<Condition> changed;        // every other triangle column holds zero traction
    std::vector<std::string> warned = {};  // what each warning line names
  };
  const Case cases[] = {
      {"all three corners", kUz45 + "D,      6,UZ  ,6\n", {{2, {2, 2, 1}, {0, 0, 3.0}}}},
      {"two corners only", kUz45, {}},
      {"directions are independent",
       "D,      4,UX  ,1.5\nD,      5,UX  ,1.5\nD,      6,UX  ,1.5\n" + kUz45,
       {{2, {1, 2, 2}, {1.5, 0, 0}}}},
      {"blank values",
       "D,      4,UY  ,\nD,      5,UY  ,                , 9.0\nD,      6,UY  ,\n",
       {{2, {2, 1, 2}, {0, 0, 0}}}},
      {"a later record replaces",
       kUz45 + "D,      6,UZ  ,100\nD,      6,UZ  ,6.0\n",
       {{2, {2, 2, 1}, {0, 0, 3.0}}}},
      {"not a number counts as given",
       "D,      4,UZ  ,NAN\nD,      5,UZ  ,2\nD,      6,UZ  ,6\n",
       {{2, {2, 2, 1}, {0, 0, NAN}}}},
      {"the NotGiven value itself", kUz45 + "D,      6,UZ  ,1.23E-33\n", {}},
      {"other labels and columns",
       kUz45 + "D,      6,ROTZ,6\nD,      6, UZ ,6\nD,      6,UZ   6\nD,12345678,UZ  ,6\n",
       {}},
      {"reading ends at a record beginning FI", kUz45 + "FIX\nD,      6,UZ  ,6\n", {}},
      {"nodes outside 1 to NodeCount",
       "D,       ,UZ  ,1\nD,     20,UZ  ,1\n" + kUz45 + "D,      6,UZ  ,6\n",
       {{2, {2, 2, 1}, {0, 0, 3.0}}},
       {"constraint on node 0 ignored, outside 1 to 19",
        "constraint on node 20 ignored, outside 1 to 19"}},
      {"unit pressure",
       Pressure("        1", "  1.00000000      1.00000000      1.00000000      1.00000000"),
       {Traction(1, kU, kU, kU)}},
      {"both triangles, a zero counts",
       Pressure("        2", "1 2 0 9"),
       {Traction(2, 0, 0, -3), Traction(3, 0, 0, -3)}},
      {"p times the unit normal",
       Pressure("        1", "1 2 3 6"),
       {Traction(1, 3 * kU, 3 * kU, 3 * kU)}},
      {"a later pressure replaces",
       Pressure("        2", "1 1 1 1") + Pressure("        2", "2,2,\n\n2,2"),
       {Traction(2, 0, 0, -2), Traction(3, 0, 0, -2)}},
      {"over prescribed displacements",
       "D,      1,UY  ,5\nD,      2,UY  ,5\nD,      3,UY  ,5\n" + kUz45 + "D,      6,UZ  ,6\n" +
           Pressure("        1", "1 1 1 1"),
       {Traction(1, kU, kU, kU), {2, {2, 2, 1}, {0, 0, 3.0}}}},
      // Pressure commands are read by their fields: the label in any
      // columns, blanks around it; the second value set after the values is
      // passed over, and so is a command of another label.
      {"PRES in other columns, other labels",
       "SFE,        2,    1, PRES \n1 1 1 1\nSFE,        1,  1,PRES,  2 ,R5.0\n1 1 1 1\n"
       "SFE,        1,   1,CONV\n1 1 1 1\n",
       {Traction(2, 0, 0, -1), Traction(3, 0, 0, -1)}},
      // Only a record "SFE," whose fifth field is 2 is a second value set:
      // any other record after the values is read as usual, a pressure too.
      {"one row per command, no second set",
       "SFE,        2,   1,PRES, 1,R5.0\n1 1 1 1\nSFE,        1,   1,PRES, 1,R5.0\n2 2 2 2\n",
       {Traction(1, 2 * kU, 2 * kU, 2 * kU), Traction(2, 0, 0, -1), Traction(3, 0, 0, -1)}},
      {"a fifth field 20 or 1 is no second set",
       "SFE,        2,   1,PRES\n1 1 1 1\nSFE,        1,   1,PRES,20\n3 3 3 3\n"
       "SFE,        2,   1,PRES, 1\n5 5 5 5\n",
       {Traction(1, 3 * kU, 3 * kU, 3 * kU), Traction(2, 0, 0, -5), Traction(3, 0, 0, -5)}},
      {"element in 8, 9 and 10 columns",
       "SFE,       1,   1,PRES, 0,R5.0\n2 2 2 2\n\n\nSFE,         2,   1,PRES\n4 4 4 4\n\n\n",
       {Traction(1, 2 * kU, 2 * kU, 2 * kU), Traction(2, 0, 0, -4), Traction(3, 0, 0, -4)}},
      // Keys 1 and 2 are the faces; a blank key is 1; the others are edge
      // or tangential loads: warned of, not applied.
      {"keys 1 to 6 and a blank key",
       PressureWithKey("1", "2", "2 2 2 2") + PressureWithKey("2", "   ", "4 4 4 4") +
           PressureWithKey("2", "3", "1 1 1 1") + PressureWithKey("2", "4", "1 1 1 1") +
           PressureWithKey("1", "5", "1 1 1 1") + PressureWithKey("1", "6", "1 1 1 1") +
           PressureWithKey("2", "1", "8 8 8 8"),
       {Traction(1, 2 * kU, 2 * kU, 2 * kU), Traction(2, 0, 0, -8), Traction(3, 0, 0, -8)},
       {"element 2 ignored, key 3 is not a face pressure",
        "element 2 ignored, key 4 is not a face pressure",
        "element 1 ignored, key 5 is not a face pressure",
        "element 1 ignored, key 6 is not a face pressure"}},
      // A pressure block: rows of kind 1 load, rows of kind 2 (imaginary
      // parts) do not; the first record that is no row ends the block and is
      // read as usual; rows and commands act in file order.
      {"a pressure block",
       "SFEBLOCK,4,PRES,         1,        16,0\n(i9,i4,i4,6(pg20.9))\n"
       "        1   1   1      1.00000000          2.00000000          3.00000000          6.00000000\n"
       "        1   1   2      9.00000000          9.00000000          9.00000000          9.00000000\n"
       "        2   2   1  1.0D+00 1.0d0 1.E0 1\n"
       "        2   3   1  5 5 5 5\n"
       "SFE,end,LOC,       -1,\n" +
           PressureWithKey("2", "1", "4 4 4 4") +
           "SFEBLOCK,1,PRES,1,1,0\n(i9,i4,i4,6(pg20.9))\n        1   1   1   7 7 7\n"
           "SFEBLOCK,1,CONV,1,1,0\n(i9,i4,i4,6(pg20.9))\n        1   1   1   8 8 8 8\n",
       {Traction(1, 3 * kU, 3 * kU, 3 * kU), Traction(2, 0, 0, -4), Traction(3, 0, 0, -4)},
       {"element 2 ignored, key 3 is not a face pressure"}},
      {"the pass ends at FINISH",
       "SFE,        2,   1,CONV\nFINISH\n" + Pressure("        1", "1 1 1 1"),
       {}},
      {"element outside 1 to ElementCount", Pressure("        9", "1 1 1 1"), {}, {"element 9"}},
      {"blank element text", Pressure("         ", "1 1 1 1"), {}, {"element 0"}},
      {"element never carried", Pressure("        5", "1 1 1 1"), {}, {"element 5"}},
      {"first triangle degenerate",
       Pressure("        3", "2 2 2 2"),
       {Traction(4, 0, 0, 2), Traction(5, 0, 0, 2)},
       {"element 3"}},
      {"both triangles degenerate", Pressure("        4", "1 1 1 1"), {}, {"element 4"}},
      {"first normal not a number",
       Pressure("        6", "2 2 2 2"),
       {Traction(10, 0, 0, -2), Traction(11, 0, 0, -2)},
       {"element 6: first triangle"}},
      {"first normal overflows to NaN",
       Pressure("        7", "2 2 2 2"),
       {Traction(12, 0, 0, -2), Traction(13, 0, 0, -2)},
       {"element 7: first triangle"}},
      {"normal of infinite length", Pressure("        8", "2 2 2 2"), {}, {"element 8 ignored"}},
      {"no constraint flag, no reading", "", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test_support::ScopedTempDir dir;
    // Without a flag: the scan stops at the first record, the reader must not read on.
    const std::string text =
        c.records.empty() ? "FINI\n" + kMesh + kUz45 + "D,      6,UZ  ,6\n" : kMesh + c.records;
    const Pass pass = RunPasses(text + "FINISH\n");
    ASSERT_EQ(pass.status, -1) << pass.err;
    ASSERT_EQ(pass.run.TriangleCount, kTriangles);
    for (int t = 1; t <= kTriangles; ++t) {
      Condition expected = Traction(t, 0.0, 0.0, 0.0);
      for (const Condition& changed : c.changed)
        expected = changed.triangle == t ? changed : expected;
      for (int d = 1; d <= 3; ++d) {
        const double value = pass.run.TriangleBcValues(d, t),
                     wanted = expected.values[std::size_t(d - 1)];
        EXPECT_EQ(pass.run.TriangleBcKinds(d, t), expected.kinds[std::size_t(d - 1)])
            << "triangle " << t << ", " << d;
        EXPECT_TRUE(value == wanted || (std::isnan(value) && std::isnan(wanted)))
            << "triangle " << t << ", " << d;
      }
    }
    std::string lines = pass.err;
    for (const std::string& names : c.warned) {
      const std::size_t end = lines.find("\r\n");
      ASSERT_NE(end, std::string::npos) << "a warning naming " << names;
      EXPECT_TRUE(lines.starts_with(" Warning") &&
                  lines.substr(0, end).find(names) != std::string::npos)
          << lines;
      lines.erase(0, end + 2);
    }
    EXPECT_EQ(lines, "");
  }
}

TEST(BoundaryConditions, MalformedRecordsEndTheRun) {
  const std::string end_of_file = "runerr: severe (24): end-of-file during read, unit 5, file ";
  const std::array<std::string, 3> cases[] = {
      {"value cut by a comma", kMesh + "D,     16,UY  ,0.0025,0.0\nFINISH\n",
       "runerr: severe (547): invalid REAL"},
      {"node text on any label", kMesh + "D,   4x  ,TEMP,1\nFINISH\n",
       "runerr: severe (545): invalid INTEGER"},
      {"constraints without FI", "D,\nFINI\n" + kMesh + "D,      4,UX  ,1\n", end_of_file},
      {"element text not an integer", kMesh + "SFE,     1x,    1,PRES\n1 1 1 1\n\n\nFINISH\n",
       "runerr: severe (545): invalid INTEGER"},
      {"key text not an integer", kMesh + "SFE,      1,   1.5,PRES\n1 1 1 1\n\n\nFINISH\n",
       "runerr: severe (545): invalid INTEGER"},
      {"FINISH as the row of the second value set",
       kMesh +
           "SFE,        1,   1,PRES, 1,R5.0\n1 1 1 1\nSFE,        1,   1,PRES, 2,R5.0\nFINISH\n",
       end_of_file},
      // A malformed value ends the run before the warning about the element.
      {"malformed value", kMesh + Pressure("        9", "1 2 x 4") + "FINISH\n",
       "runerr: severe (59): list-directed I/O syntax error, unit 5, file "},
  };
  for (const auto& [name, text, message] : cases) {
    SCOPED_TRACE(name);
    test_support::ScopedTempDir dir;
    const Pass pass = RunPasses(text);
    EXPECT_EQ(pass.status, std::stoi(message.substr(16)));
    const std::filesystem::path path = std::filesystem::current_path() / "ANSYS_Model.cdb";
    EXPECT_EQ(pass.err, message + (message.ends_with("file ") ? path.string() : "") + "\r\n");
  }
}

}  // namespace
