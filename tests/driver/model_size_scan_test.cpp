// The size pre-scan on small hand-written headers, the structure error, and
// whole runs on the real ANSYS sample files.
#include "driver/model_size_scan.h"

#include <array>
#include <filesystem>
#include <map>
#include <string>

#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

using namespace test_support;

const std::string kHeader =
    "/PREP7\n*ELSE              !offset database for the following FE model\n"
    "NUMOFF,NODE,      120\nNUMOFF,ELEM,       60\nNUMOFF,MAT ,        2\n";
// A component as ANSYS writes it: header, format record, range record.
std::string Component(const std::string& name, const std::string& range) {
  return "CMBLOCK," + name + ",NODE,       2  ! users node component definition\n(8i10)\n" + range +
         "\n";
}
const std::string kCells = Component("FIELDCELLS", "         1        -4");
const std::string kPoints = Component("FIELDPOINTS", "         9       -20");

// Scans `text` as the model file: the status the scan ends the run with
// (-1 when it returns), and its standard error in `err`.
int Scan(const std::string& text, RunTables& run, std::string& err) {
  WriteFile("ANSYS_Model.cdb", text);
  InputFile model("ANSYS_Model.cdb", kModelUnit);
  const test_support::RunResult ended =
      test_support::CatchRunEnded([&] { ScanModelSizes(model, run); });
  err = ended.err;
  return ended.status;
}

TEST(ScanModelSizes, CountsInEachBranch) {
  struct Case {
    const char* name;
    std::string text;
    std::array<int, 4> counts;  // NodeCount, ElementCount, FieldPointCount, FieldCellCount
  };
  const Case cases[] = {
      {"no field data", kHeader + "NBLOCK,6,SOLID\nFINISH\n", {120, 60, 0, 0}},
      {"field cells only", kHeader + kCells + "FINISH\n", {120, 60, 0, 4}},
      {"both components", kHeader + kCells + kPoints, {108, 56, 12, 4}},
      {"one-item ranges",
       kHeader + Component("FIELDCELLS", "5 -5") + Component("FIELDPOINTS", "5,-5"),
       {119, 59, 1, 1}},
      {"FINISH and text",
       kHeader + "FINISH !end\n" + kCells + "FINISH !end\n" + kPoints,
       {108, 56, 12, 4}},
      {"FINISH with blanks at width 18",
       kHeader + "FINISH            \n" + kCells + kPoints,
       {120, 60, 0, 0}},
      {"FINISH with blanks at width 19",
       kHeader + kCells + "FINISH             \n" + kPoints,
       {120, 60, 0, 4}},
      {"offset header with text; count anywhere in columns 13-21",
       "*ELSE   !offset database\nNUMOFF,NODE,     1308\nNUMOFF,ELEM,      2 0 !not read\nFINISH\n",
       {1308, 20, 0, 0}},
      {"offset word on five characters",
       "*ELSEWHERE\nNUMOFF,NODE,7\n7           9\nFINISH\n",
       {7, 9, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedTempDir dir;
    RunTables run;
    std::string err;
    EXPECT_EQ(Scan(c.text, run, err), -1) << err;
    EXPECT_EQ(
        (std::array{run.NodeCount, run.ElementCount, run.FieldPointCount, run.FieldCellCount}),
        c.counts);
  }
}

// A model that ends before its offset header is refused with status 1;
// other models that end early give the end-of-file diagnostic.
TEST(ScanModelSizes, EndsOfTheRun) {
  const std::string texts[] = {"FINISH\n" + kHeader,
                               "/PREP7\nFINISH !end\n*ELSE\n",
                               "/PREP7\nNBLOCK\n",
                               "*ELSE\nNUMOFF,NODE,       5\n",
                               kHeader,
                               kHeader + kCells + "FINISH !end\n",
                               kHeader + "CMBLOCK,FIELDCELLS\n(8i10)\n"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    ScopedTempDir dir;
    RunTables run;
    std::string err;
    const bool refused = text.find("FINISH") < text.find("*ELSE");
    EXPECT_EQ(Scan(text, run, err), refused ? 1 : 24);
    EXPECT_EQ(err, refused ? " ANSYS cdb file error!\r\n"
                           : "runerr: severe (24): end-of-file during read, unit 5, file " +
                                 (std::filesystem::current_path() / "ANSYS_Model.cdb").string() +
                                 "\r\n");
  }
  ScopedTempDir dir;  // as a whole run: the output files stay as they were
  WriteFile("ANSYS_Model.cdb", "FINISH\n" + kHeader + "FINISH\n");
  WriteFile("input.dat", "old solver input");
  WriteFile("input.plt", "old plot");
  const RunResult result = RunInProcess();
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out + result.err, " ANSYS cdb file error!\r\n");
  EXPECT_EQ(ReadFile("input.dat") + ReadFile("input.plt"), "old solver inputold plot");
}

// For a person at a terminal the structure error names the FINISH record
// by its number, line ends of either kind counted, and says why.
TEST(ScanModelSizes, StructureErrorReason) {
  const struct {
    std::string text;
    const char* reason;  // after the bare diagnostic
  } cases[] = {
      {"FINISH\n" + kHeader, " record 1 (FINISH)"},
      {"/PREP7\r\n/COM,x\r\n\r\nFINISH !end\r\n*ELSE\r\n", " record 4 (FINISH)"},
      {"/PREP7\nNBLOCK\n(3i8,6e16.9)\n       1\nFINISH\nFINISH\n", " record 5 (FINISH)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ScopedTempDir dir;
    WriteFile("ANSYS_Model.cdb", c.text);
    InputFile model("ANSYS_Model.cdb", kModelUnit);
    while (!model.ReadRecord().starts_with("FINISH")) {
    }
    EXPECT_EQ(StructureErrorText(model, false), " ANSYS cdb file error!");
    EXPECT_EQ(StructureErrorText(model, true),
              std::string(" ANSYS cdb file error!") + c.reason +
                  " ends the model before the *ELSE record of its node and element counts");
  }
}

// Every real file ends in one of the run's own ways. Statuses as read off
// the files: a node count above the records written (sector), ElementCount
// records where fewer are written (ErnoRadiation), a twenty-node element
// whose nodes go on in the next record (mesh200), "FINISH" before "*ELSE"
// (plane182_183).
TEST(RealModelFiles, EndAsTheRulesSay) {
  const std::filesystem::path samples = SamplesDirectory();
  // The volume models are refused by the element types their ET records
  // name, at their first element.
  const std::map<std::string, int> statuses = {{"hypermesh.cdb", 0}, {"TetBeam.cdb", 1},
                                               {"sector.cdb", 64},   {"ErnoRadiation.cdb", 1},
                                               {"mesh200.cdb", 1},   {"plane182_183.cdb", 1}};
  const std::map<std::string, std::string> refused_types = {
      {"TetBeam.cdb", "SOLID187"}, {"ErnoRadiation.cdb", "SOLID70"}, {"mesh200.cdb", "MESH200"}};
  for (const auto& [name, status] : statuses) {
    SCOPED_TRACE(name);
    ScopedTempDir dir;
    std::filesystem::copy_file(samples / name, "ANSYS_Model.cdb");
    const RunResult result = RunInProcess();
    EXPECT_EQ(result.status, status);
    if (status == 0) {
      EXPECT_TRUE(result.out.ends_with("  Data Translation from ANSYS to BEM is done!\r\n"))
          << result.out;
    } else {
      const std::string start = status == 1 ? " ANSYS cdb file error"
                                            : "runerr: severe (" + std::to_string(status) + "): ";
      EXPECT_TRUE(result.err.starts_with(start)) << result.err;
      EXPECT_EQ(result.err.find("\r\n"), result.err.size() - 2) << "one line";
    }
    if (refused_types.contains(name)) {
      EXPECT_EQ(result.err, " ANSYS cdb file error: element 1 (" + refused_types.at(name) +
                                ") is a volume element, not a surface element\r\n");
    }
    if (name != "hypermesh.cdb") continue;
    // 105 nodes, 80 four-node elements, no field data, no loads: 160 triangles, the closing
    // message, then the warnings of a shell (an open surface, as the check counts it) and of its
    // material 1 (MPDATA EX 72000.0, NUXY 0.33).
    EXPECT_EQ(result.out, "  Data Translation from ANSYS to BEM is done!\r\n");
    const RunResult check = test_support::RunProgramWith(dir.path(), {"--check"});
    const auto figure = [&check](const std::string& label) {
      const std::size_t at = check.out.find("\n" + label + ": ");
      return at == std::string::npos
                 ? std::string("?")
                 : check.out.substr(at + label.size() + 3,
                                    check.out.find('\n', at + 1) - at - label.size() - 3);
    };
    EXPECT_EQ(result.err,
              " Warning: the triangles are no closed surface: " + figure("open edges") +
                  " open edges, " + figure("non-manifold edges") + " non-manifold edges, " +
                  figure("orientation conflicts") +
                  " orientation conflicts; the solver needs the closed boundary of the body: see "
                  "cdb2bem --check\r\n"
                  " Warning: material 1 has EX 72000.0 and NUXY 0.33; input.dat gives the solver "
                  "E = 1.0 and v = 0.3: translate with --material to give it the model's\r\n");
    EXPECT_NE(ReadFile("input.dat").find("\r\n         160         105      0 "),
              std::string::npos);
  }
}

}  // namespace
