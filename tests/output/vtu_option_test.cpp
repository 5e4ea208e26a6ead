// `cdb2bem --vtu FILE` as a whole process: the pair as a plain run writes
// it, then the .vtu; failures of the .vtu and names that would overwrite the
// model or the pair. And the .vtu read back by VTK and meshio.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using test_support::ReadFile;
using test_support::RunProgramWith;
using test_support::RunResult;
using test_support::ScopedTempDir;

const fs::path kSourceDir = CDB2BEM_SOURCE_DIR;
const fs::path kFourNodeModel =
    kSourceDir / "tests" / "e2e" / "four_node_example" / "ANSYS_Model.cdb";
constexpr const char* kClosingLine = "  Data Translation from ANSYS to BEM is done!\r\n";

std::string WithoutDate(std::string dat) {
  if (dat.size() >= 77) dat.replace(68, 9, 9, '#');  // columns 69-77 of the title
  return dat;
}

enum class Pair { kWritten, kAbsent };

struct Case {
  std::vector<std::string> args;  // run in the scratch directory; the model is in model/
  int status;
  std::string out;
  std::string err;  // in both, "@DIR@" stands for the absolute path of model/
  Pair pair;
  const char* vtu;  // where the .vtu must be, under model/; nullptr: nowhere
  // What begins the file at `vtu` before the run (100000 x follow): an
  // earlier .vtu, or a file that is none, which a refused run keeps.
  std::string earlier = "<?xml version=\"1.0\"?>\n";
};

TEST(VtuOption, RunsFailuresAndRefusals) {
  ScopedTempDir temp;
  const fs::path work = fs::canonical(temp.path());
  const fs::path model = work / "model";
  fs::create_directories(model / "sub");
  fs::copy_file(kFourNodeModel, model / "ANSYS_Model.cdb");
  const std::string model_text = ReadFile(model / "ANSYS_Model.cdb");
  const RunResult plain = RunProgramWith(model, {});
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::string dat = WithoutDate(ReadFile(model / "input.dat"));
  const std::string plt = ReadFile(model / "input.plt");

  // A name not ending in .vtu, in any case, is refused before anything is
  // read, and so is an existing file that does not begin as VTK XML does.
  const auto name = [](const char* vtu) {
    return "cdb2bem: --vtu '" + std::string(vtu) +
           "': the name does not end in .vtu; the file would be replaced\n"
           "Try 'cdb2bem --help' for more information.\n";
  };
  const std::string no_vtk =
      "cdb2bem: --vtu 'model.vtu' is a file that is not VTK XML; it would be replaced: remove it "
      "or name another\n";
  const Case cases[] = {
      {{"-C", "model", "--vtu", "model.vtu"}, 0, kClosingLine, "", Pair::kWritten, "model.vtu"},
      {{"-C", "model", "--vtu=sub/../model.vtu"}, 0, kClosingLine, "", Pair::kWritten, "model.vtu"},
      {{"-C", "model", "--vtu", "@DIR@/model.vtu"},
       0,
       kClosingLine,
       "",
       Pair::kWritten,
       "model.vtu"},
      // The .vtu joins the replacement: when it fails, no output is
      // replaced and no closing line printed.
      {{"-C", "model", "--vtu", "MODEL.Vtu"}, 0, kClosingLine, "", Pair::kWritten, "MODEL.Vtu"},
      {{"-C", "model", "--vtu", "model.vtu"},
       0,
       kClosingLine,
       "",
       Pair::kWritten,
       "model.vtu",
       "<VTKFile type=\"UnstructuredGrid\">"},
      {{"-C", "model", "--vtu", "model.vtu"}, 2, "", no_vtk, Pair::kAbsent, "model.vtu", "<?XML"},
      {{"-C", "model", "--vtu", "model.vtu"}, 2, "", no_vtk, Pair::kAbsent, "model.vtu", ""},
      {{"-C", "model", "--vtu", "/dev/full"}, 2, "", name("/dev/full"), Pair::kAbsent, nullptr},
      {{"-C", "model", "--vtu", "m.vtu.bak"}, 2, "", name("m.vtu.bak"), Pair::kAbsent, nullptr},
      {{"-C", "model", "--vtu", "vtu"}, 2, "", name("vtu"), Pair::kAbsent, nullptr},
      {{"-C", "model", "--vtu", "no/such/dir.vtu"},
       30,
       "",
       "runerr: severe (30): open failure, unit 9, file @DIR@/no/such/dir.vtu\r\n",
       Pair::kAbsent,
       nullptr},
      {{"-C", "model", "--vtu", "./input.dat"}, 2, "", name("./input.dat"), Pair::kAbsent, nullptr},
      {{"-C", "model", "--vtu", "input.plt"}, 2, "", name("input.plt"), Pair::kAbsent, nullptr},
      // FILE is taken in the directory of the run, whatever the order.
      {{"--vtu", "ANSYS_Model.cdb", "-C", "model"},
       2,
       "",
       name("ANSYS_Model.cdb"),
       Pair::kAbsent,
       nullptr},
      {{"-C", "model", "--vtu", "../model/ANSYS_Model.cdb"},
       2,
       "",
       name("../model/ANSYS_Model.cdb"),
       Pair::kAbsent,
       nullptr},
  };
  std::string reference_vtu;
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& arg : c.args) shown += " [" + arg + "]";
    SCOPED_TRACE(shown);
    for (const char* output : {"input.dat", "input.plt", "model.vtu", "MODEL.Vtu"}) {
      fs::remove(model / output);
    }
    // A longer file of the same name must be replaced whole.
    const std::string earlier = c.earlier + std::string(100000, 'x');
    if (c.vtu != nullptr) test_support::WriteFile(model / c.vtu, earlier);
    std::vector<std::string> args = c.args;
    for (std::string& arg : args) {
      if (arg.starts_with("@DIR@")) arg.replace(0, 5, model.string());
    }
    const RunResult result = RunProgramWith(work, args);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, c.out);
    std::string err = c.err;
    if (const auto at = err.find("@DIR@"); at != std::string::npos) {
      err.replace(at, 5, model.string());
    }
    EXPECT_EQ(result.err, err);
    EXPECT_EQ(ReadFile(model / "ANSYS_Model.cdb"), model_text);
    if (c.pair == Pair::kWritten) {
      EXPECT_EQ(WithoutDate(ReadFile(model / "input.dat")), dat);
      EXPECT_EQ(ReadFile(model / "input.plt"), plt);
    } else {
      EXPECT_FALSE(fs::exists(model / "input.dat"));
      EXPECT_FALSE(fs::exists(model / "input.plt"));
    }
    if (c.vtu == nullptr) {
      EXPECT_FALSE(fs::exists(model / "model.vtu"));
      continue;
    }
    const std::string vtu = ReadFile(model / c.vtu);
    if (c.status != 0) {
      EXPECT_EQ(vtu, earlier);
      continue;
    }
    EXPECT_TRUE(vtu.starts_with("<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\""));
    EXPECT_TRUE(vtu.ends_with("\n  </AppendedData>\n</VTKFile>\n"));
    if (reference_vtu.empty()) reference_vtu = vtu;
    EXPECT_EQ(vtu, reference_vtu);
  }
}

// Every model of the e2e cases, the bundled example and the real samples,
// and the flawed models the script makes.
TEST(VtuOption, VtkAndMeshioReadBackWhatInputDatHolds) {
  CDB2BEM_NEED_PYTHON_MODULES("vtkmodules, meshio, numpy", "python3-vtk9, python3-meshio");
  std::vector<fs::path> models = {kSourceDir / "examples" / "ANSYS_Model.cdb"};
  for (const fs::directory_entry& entry : fs::directory_iterator(kSourceDir / "tests" / "e2e")) {
    const fs::path model = entry.path() / "ANSYS_Model.cdb";
    if (fs::exists(model)) models.push_back(model);
  }
  for (const fs::directory_entry& entry :
       fs::directory_iterator(test_support::SamplesDirectory())) {
    if (entry.path().extension() == ".cdb") models.push_back(entry.path());
  }
  const fs::path script = kSourceDir / "tests" / "output" / "vtu_check.py";
  std::string command = "/usr/bin/python3 '" + script.string() + "' '" + CDB2BEM_BINARY + "'";
  for (const fs::path& model : models) command += " '" + model.string() + "'";
  command += " >&2";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
