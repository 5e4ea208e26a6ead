// The load kind scan: which records set the two flags, and where it stops.
#include "driver/load_kind_scan.h"

#include <string>

#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

TEST(ScanLoadKinds, FlagsFromTheFirstFourColumns) {
  struct Case {
    const char* text;
    bool displacements, pressures;
    int status = -1;  // -1: the scan returns
  };
  const Case cases[] = {
      {"/PREP7\nN,R5.3,LOC,     -1,\nFINISH\n", false, false},
      {"D,      1,UX  , 0.00000000    , 0.00000000\nFINISH\n", true, false},
      // Node numbers of six digits leave no blank after "D,": still constraints.
      {"D, 123456,UX  , 0.00000000    , 0.00000000\nFINISH\n", true, false},
      {"D,\nFINISH\n", true, false},
      {"SFE,       4,   1,CONV, 0,R5.0\nFINISH\n", false, true},
      {"SFE,       4,   1,PRES, 0,R5.0\n1 1 1 1\nD,      2,UZ  ,1.0\nFINI\n", true, true},
      {" D,      1,UX  ,1.0\nd,      1,UX  ,1.0\nSFE\nSFE ,  4\n sfe,\nFINISH\n", false, false},
      {"FINISH\nD,      1,UX  ,1.0\nSFE,       4,   1,PRES\n1 1 1 1\nFINISH\n", false, false},
      {"D,      1,UX  ,1.0\nFINISH !end\nSFE,       4,   1,PRES\nFINISH\n", true, false},
      {"SFE,       4,   1,PRES\nFIN\nFIN I\n", false, true, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    test_support::ScopedTempDir dir;
    test_support::WriteFile("ANSYS_Model.cdb", test_support::WithCrLf(c.text));
    InputFile model("ANSYS_Model.cdb", kModelUnit);
    RunTables run;
    const test_support::RunResult ended =
        test_support::CatchRunEnded([&] { ScanLoadKinds(model, run); });
    const int status = ended.status;
    EXPECT_EQ(ended.err, status == -1
                             ? ""
                             : "runerr: severe (24): end-of-file during read, unit 5, file " +
                                   (std::filesystem::current_path() / "ANSYS_Model.cdb").string() +
                                   "\r\n");
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(run.HasDisplacements, c.displacements);
    EXPECT_EQ(run.HasPressures, c.pressures);
  }
}

}  // namespace
