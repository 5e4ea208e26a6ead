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

  const std::string dev_full =
      "runerr: severe (38): error during write, unit 9, file /dev/full\r\n";
  const auto overwrite = [](const std::string& file) {
    return "runerr: severe (30): open failure, unit 9, file " + file + "\r\n";
  };
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
      {{"-C", "model", "--vtu", "/dev/full"}, 38, "", dev_full, Pair::kAbsent, nullptr},
      {{"-C", "model", "--vtu", "no/such/dir.vtu"},
       30,
       "",
       "runerr: severe (30): open failure, unit 9, file @DIR@/no/such/dir.vtu\r\n",
       Pair::kAbsent,
       nullptr},
      {{"-C", "model", "--vtu", "./input.dat"},
       30,
       "",
       overwrite("@DIR@/./input.dat"),
       Pair::kAbsent,
       nullptr},
      {{"-C", "model", "--vtu", "input.plt"},
       30,
       "",
       overwrite("@DIR@/input.plt"),
       Pair::kAbsent,
       nullptr},
      // FILE is taken in the directory of the run, whatever the order.
      {{"--vtu", "ANSYS_Model.cdb", "-C", "model"},
       30,
       "",
       overwrite("@DIR@/ANSYS_Model.cdb"),
       Pair::kAbsent,
       nullptr},
      {{"-C", "model", "--vtu", "../model/ANSYS_Model.cdb"},
       30,
       "",
       overwrite("@DIR@/../model/ANSYS_Model.cdb"),
       Pair::kAbsent,
       nullptr},
  };
  std::string reference_vtu;
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& arg : c.args) shown += " [" + arg + "]";
    SCOPED_TRACE(shown);
    for (const char* name : {"input.dat", "input.plt", "model.vtu"}) fs::remove(model / name);
    // A longer file of the same name must be replaced whole.
    if (c.vtu != nullptr) test_support::WriteFile(model / c.vtu, std::string(100000, 'x'));
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
    EXPECT_TRUE(vtu.starts_with("<?xml version=\"1.0\"?>\n<VTKFile type=\"UnstructuredGrid\""));
    EXPECT_TRUE(vtu.ends_with("\n  </AppendedData>\n</VTKFile>\n"));
    if (reference_vtu.empty()) reference_vtu = vtu;
    EXPECT_EQ(vtu, reference_vtu);
  }
}

// Every model of the e2e cases, the bundled example and the real samples
// when present, and the flawed models the script makes.
TEST(VtuOption, VtkAndMeshioReadBackWhatInputDatHolds) {
  CDB2BEM_NEED_PYTHON_MODULES("vtkmodules, meshio, numpy", "python3-vtk9, python3-meshio");
  std::vector<fs::path> models = {kSourceDir / "examples" / "ANSYS_Model.cdb"};
  for (const fs::directory_entry& entry : fs::directory_iterator(kSourceDir / "tests" / "e2e")) {
    const fs::path model = entry.path() / "ANSYS_Model.cdb";
    if (fs::exists(model)) models.push_back(model);
  }
  if (const fs::path samples = test_support::SamplesDirectory(); !samples.empty()) {
    for (const fs::directory_entry& entry : fs::directory_iterator(samples)) {
      if (entry.path().extension() == ".cdb") models.push_back(entry.path());
    }
  }
  const fs::path script = kSourceDir / "tests" / "output" / "vtu_check.py";
  std::string command = "/usr/bin/python3 '" + script.string() + "' '" + CDB2BEM_BINARY + "'";
  for (const fs::path& model : models) command += " '" + model.string() + "'";
  command += " >&2";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
}

}  // namespace
