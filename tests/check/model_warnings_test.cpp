// What a successful run says the solver will not get (open surfaces, loads
// it does not take, constraints that reach no triangle, the material), the
// refusal of constrained rotated nodes and --material, on small models whose
// expected lines are read off their records. Each run is made on one and two
// threads and, where the model is a surface, renumbered: all must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/model_reading.h"
#include "driver/translation_run.h"
#include "test_support.h"

namespace {

using test_support::ReadFile;
using test_support::ScopedTempDir;
using test_support::WriteFile;

// The tetrahedron (0,0,0), (1,0,0), (0,1,0), (0,0,1): a closed surface of
// four triangles facing out, nodes 1 to 4.
const char* const kTetrahedron[] = {"1 3 2", "1 2 4", "1 4 3", "2 3 4"};
const double kCorners[][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}};
constexpr const char* kFixed123 =
    "D,      1,UX  ,0\nD,      1,UY  ,0\nD,      1,UZ  ,0\nD,      2,UX  ,0\nD,      2,UY  ,0\n"
    "D,      2,UZ  ,0\nD,      3,UX  ,0\nD,      3,UY  ,0\nD,      3,UZ  ,0\n";

struct Model {
  std::vector<std::string> elements = {std::begin(kTetrahedron), std::end(kTetrahedron)};
  std::string after;        // records after the element block, before FINISH
  int nodes = 4;            // the first `nodes` of kCorners
  std::string rotation;     // text after z of node 2's record
  std::string materials;    // the first value of each element record, "1" when short
  std::string before = "";  // records before the node block
};

std::string CdbText(const Model& m) {
  char line[160];
  std::string text = "/PREP7\n*ELSE\n";
  std::snprintf(line, sizeof line, "NUMOFF,NODE,%9d\nNUMOFF,ELEM,%9d\n", m.nodes,
                static_cast<int>(m.elements.size()));
  text += line + m.before + "NBLOCK,6,SOLID\n(3i8,6e16.9)\n";
  for (int n = 1; n <= m.nodes; ++n) {
    const double* p = kCorners[n - 1];
    std::snprintf(line, sizeof line, "%8d%8d%8d%16.9E%16.9E%16.9E", n, 0, 0, p[0], p[1], p[2]);
    text += line + (n == 2 ? m.rotation : "") + "\n";
  }
  text += "N,R5.3,LOC,       -1,\nEBLOCK,19,SOLID\n(19i8)\n";
  for (std::size_t e = 0; e < m.elements.size(); ++e) {
    const char material = e < m.materials.size() ? m.materials[e] : '1';
    std::string corners = m.elements[e];
    if (std::count(corners.begin(), corners.end(), ' ') == 2)
      corners += corners.substr(corners.rfind(' '));
    text += std::string(1, material) + " 1 1 1 0 0 0 0 3 0 " + std::to_string(e + 1) + " " +
            corners + "\n";
  }
  return text + "      -1\n" + m.after + "FINISH\n";
}

struct Outcome {
  int status;
  std::string err;
  std::string material_record;  // the fifth record of input.dat
};

Outcome Translate(const Model& model, int jobs, ModelMode mode, bool material = false) {
  WriteFile("ANSYS_Model.cdb", CdbText(model));
  std::remove("input.dat");
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  Outcome outcome;
  outcome.status = RunTranslation({}, jobs, mode, {}, material);
  testing::internal::GetCapturedStdout();
  outcome.err = testing::internal::GetCapturedStderr();
  const std::string dat = ReadFile("input.dat");
  std::size_t begin = 0;
  for (int r = 0; r < 4 && begin != std::string::npos; ++r) begin = dat.find('\n', begin) + 1;
  if (begin != 0 && begin < dat.size()) {
    outcome.material_record = dat.substr(begin, dat.find('\r', begin) - begin);
  }
  return outcome;
}

// The lines expected, each with its line end.
std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// Runs on one and two threads, and renumbered unless `plain_only`: the same
// status and lines every time.
void ExpectRuns(const Model& model, int status, const std::vector<std::string>& lines,
                bool plain_only = false, bool material = false) {
  ScopedTempDir dir;
  for (const auto& [jobs, mode] :
       {std::pair{1, ModelMode::kAsWritten}, std::pair{2, ModelMode::kAsWritten},
        std::pair{1, ModelMode::kRenumbered}}) {
    if (plain_only && mode != ModelMode::kAsWritten) continue;
    SCOPED_TRACE(mode == ModelMode::kAsWritten ? "-j" + std::to_string(jobs) : "--renumber");
    const Outcome run = Translate(model, jobs, mode, material);
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.err, Lines(lines));
  }
}

const std::string kClosed =
    " Warning: the triangles are no closed surface: %d open edge%s, %d non-manifold edge%s, %d "
    "orientation conflict%s; the solver needs the closed boundary of the body: see cdb2bem --check";

std::string NotClosed(int open, int non_manifold, int conflicts) {
  char text[300];
  const auto s = [](int n) { return n == 1 ? "" : "s"; };
  std::snprintf(text, sizeof text, kClosed.c_str(), open, s(open), non_manifold, s(non_manifold),
                conflicts, s(conflicts));
  return text;
}

TEST(TranslationWarnings, SurfacesThatAreNotClosed) {
  struct Case {
    const char* name;
    std::vector<std::string> elements;
    int nodes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"closed", {std::begin(kTetrahedron), std::end(kTetrahedron)}, 4, {}},
      // Without face 2-3-4, its three edges are open.
      {"open", {"1 3 2", "1 2 4", "1 4 3"}, 4, {NotClosed(3, 0, 0)}},
      // Face 2-4-3 runs along each of its edges as its neighbour does.
      {"misoriented", {"1 3 2", "1 2 4", "1 4 3", "2 4 3"}, 4, {NotClosed(0, 0, 3)}},
      // A fin 2-3-5 on edge 2-3: three triangles there, its two other edges open.
      {"non-manifold", {"1 3 2", "1 2 4", "1 4 3", "2 3 4", "2 5 3"}, 5, {NotClosed(2, 1, 0)}},
      // The same face twice, once each way: edge 2-3 (and the others of the
      // face) of four triangles, two running each way, sum to nothing.
      {"four triangles on each edge of a face",
       {"1 3 2", "1 2 4", "1 4 3", "2 3 4", "2 4 3", "2 3 4"},
       4,
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    model.elements = c.elements;
    model.nodes = c.nodes;
    model.after = kFixed123;
    ExpectRuns(model, 0, c.lines);
  }
}

// Node 2's record with THXY, THYZ, THZX after z (16 columns each).
TEST(RotatedNodes, ConstrainedOnesRefuseTheModel) {
  const std::string refused = " ANSYS cdb file error: node 2 has rotated axes: its ";
  // Nodes 1 and 3 fixed, node 2 not in y and z: they reach no triangle there.
  const std::string unreached =
      " Warning: 2 constrained nodes reach no triangle: a triangle takes a displacement only "
      "where all three corners are constrained in its direction; constrain whole faces";
  struct Case {
    const char* name;
    std::string rotation;
    std::string constraints;  // besides nodes 1 and 3 fixed
    std::vector<std::string> lines;
  };
  const std::string fixed13 =
      "D,      1,UX  ,0\nD,      1,UY  ,0\nD,      1,UZ  ,0\nD,      3,UX  ,0\nD,      3,UY  ,0\n"
      "D,      3,UZ  ,0\n";
  const std::string ux = "D,      2,UX  ,0\n";
  const std::string fixed2 = "D,      2,UZ  ,0\nD,      2,UY  ,-0.0\nD,      2,UX  ,0\n";
  const Case cases[] = {
      {"THXY", "  30.000000000  ", ux, {refused + "UX constraint does not act along x"}},
      {"THYZ",
       "                 1.0",
       "D,      2,UY  ,0\n",
       {refused + "UY constraint does not act along y"}},
      {"THZX, UZ",
       "            0.0              0.0-45.0",
       "D,      2,UZ  ,1.5\n",
       {refused + "UZ constraint does not act along z"}},
      {"a field that does not convert",
       "  abc",
       ux,
       {refused + "UX constraint does not act along x"}},
      {"a field cut by a comma", ", 2", ux, {refused + "UX constraint does not act along x"}},
      {"the first direction given is named",
       "  30.0",
       "D,      2,UZ  ,0\nD,      2,UY  ,0.5\n",
       {refused + "UY constraint does not act along y"}},
      {"all three 0.0: fixed in any axes", "  30.0", fixed2, {}},
      {"all three, one not 0.0",
       "  30.0",
       fixed2 + "D,      2,UY  ,1e-9\n",
       {refused + "UX constraint does not act along x"}},
      {"zero and blank angles", " 0.000000000E+00                -0.0", ux, {unreached}},
      {"rotated, not constrained", "  30.0", "", {unreached}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    model.rotation = c.rotation;
    model.after = fixed13 + c.constraints;
    ExpectRuns(model, c.lines.empty() || c.lines[0] == unreached ? 0 : 1, c.lines);
  }
}

TEST(TranslationWarnings, LoadsTheSolverDoesNotTake) {
  const auto line = [](int count, const std::string& what, const char* advice) {
    return " Warning: " + std::to_string(count) + (count == 1 ? " record of " : " records of ") +
           what + " not translated: " + advice;
  };
  struct Case {
    const char* name;
    std::string records;  // after the element block
    std::vector<std::string> lines;
    std::string before = "";
  };
  const Case cases[] = {
      {"nodal forces",
       "F,2,FX,1000\nF,       3,MY  ,1\n",
       {line(2, "nodal forces and moments (F)",
             "the solver takes loads as element pressures (SFE with PRES)")}},
      {"body loads",
       "BF,2,TEMP,100\nBFE,1,TEMP,1,100\nBFBLOCK,5,1\nBFEBLOCK,1\n",
       {line(4, "body loads (BF, BFE, BFBLOCK, BFEBLOCK)", "the solver takes no body loads")}},
      {"inertia with a value",
       "ACEL,  0.0 ,  0.0 , 9.81\nOMEGA,0,0,0\nDOMEGA,,,x\nCGOMGA,1\n"
       "CGOMEGA,0,2\nDCGOMG,0.0\n",
       {line(4, "inertia (ACEL, OMEGA, DOMEGA, CGOMGA, DCGOMG)",
             "the solver takes no inertia loads")}},
      {"constraints of other degrees of freedom",
       "D,      2,ROTX,0\nD,      2,TEMP,20\nD,      3,ALL ,0\n",
       {line(3, "constraints of other degrees of freedom than UX, UY, UZ (D)",
             "the solver takes displacements only")}},
      // An eight-digit node moves the label out of its columns; a record
      // before the element block is not read.
      {"constraints passed over",
       "D,12345678,UX  ,0\n",
       {line(2, "UX, UY or UZ constraints the reading passes over (D)",
             "write them after the element block, node numbers of at most seven digits")},
       "D,      4,UZ  ,0\n"},
      // A command's second value set and the end of a block count no more.
      {"other surface loads",
       "SFE,        1,   1,CONV, 1,R5.0\n1 1 1 1\nSFE,        1,   1,CONV, 2,R5.0\n0 0 0 0\n"
       "SFEBLOCK,1,HFLUX,1,1,0\n(i9,i4,i4,6(pg20.9))\n        1   1   1   8 8 8 8\n"
       "SFE,end,LOC,       -1,\n",
       {line(2, "surface loads other than pressures (SFE, SFEBLOCK)",
             "the solver takes pressures only")}},
      {"couplings and equations",
       "CP,1,UX,1,2\nCE,1,0,1,UX,1\n",
       {line(2, "couplings and constraint equations (CP, CE)", "the solver takes neither")}},
      {"no loads here, nor after FINISH", "BFUNIF,TEMP,20\nTREF,20\nFINISH\nF,2,FX,1\n", {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    model.after = kFixed123 + c.records;
    model.before = c.before;
    ExpectRuns(model, 0, c.lines, true);
  }
}

TEST(TranslationWarnings, ConstraintsThatReachNoTriangle) {
  const auto line = [](int count) {
    return " Warning: " + std::to_string(count) +
           (count == 1 ? " constrained node reaches" : " constrained nodes reach") +
           " no triangle: a triangle takes a displacement only where all three corners are "
           "constrained in its direction; constrain whole faces";
  };
  const std::pair<std::string, std::vector<std::string>> cases[] = {
      {"D,      1,UX  ,0\nD,      2,UX  ,0\nD,      3,UX  ,0\n", {}},
      {"D,      4,UY  ,0\n", {line(1)}},                                      // a point support
      {"D,      1,UZ  ,0\nD,      2,UZ  ,1\n", {line(2)}},                    // an edge
      {"D,      1,UX  ,0\nD,      2,UX  ,0\nD,      3,UY  ,0\n", {line(3)}},  // two directions
      {kFixed123 + std::string("D,      4,UX  ,0\n"),
       {}},  // node 4 reaches the faces it shares with two fixed nodes
      {"D,      1,UZ  ,NAN\nD,      2,UZ  ,0\nD,      4,UZ  ,0\n", {}},  // NaN is given
  };
  for (const auto& [records, lines] : cases) {
    SCOPED_TRACE(records);
    Model model;
    model.after = records;
    ExpectRuns(model, 0, lines);
  }
}

TEST(TranslationWarnings, MaterialAndTheMaterialOption) {
  const std::string written =
      "       1.0d0       0.3d0                  ! Material constants E and v";
  const auto warned = [](const std::string& constants) {
    return " Warning: material 1 has " + constants +
           "; input.dat gives the solver E = 1.0 and v = 0.3: translate with --material to give "
           "it the model's";
  };
  const std::string refused = " ANSYS cdb file error: --material: ";
  struct Case {
    const char* name;
    std::string records;
    std::string materials;
    std::vector<std::string> lines;  // without the option
    std::string with_option;         // the record written, or the refusal
  };
  const std::string mpdata =
      "MPDATA,R5.0, 1,EX  ,       1, 1, 2.000000000E+11,\n"
      "MPDATA,R5.0, 1,PRXY,       1, 1, 0.280000000    ,\n";
  const Case cases[] = {
      {"no constants", "", "", {}, refused + "material 1 has no EX"},
      {"MPDATA",
       mpdata,
       "",
       {warned("EX 2.000000000E+11 and PRXY 0.280000000")},
       // 6 + 15 + 7 + 11 columns, then blanks up to 41.
       "       2.000000000E+11       0.280000000  ! Material constants E and v"},
      {"MP, the written values",
       "MP,EX,1,1.0\nMP,NUXY,1,0.30\n",
       "",
       {},
       "       1.0       0.30                     ! Material constants E and v"},
      {"PRXY before NUXY",
       "MP,NUXY,1,0.3\nMP,PRXY,1,0.25\nMP,EX,1,1\n",
       "",
       {warned("EX 1 and PRXY 0.25")},
       "       1       0.25                       ! Material constants E and v"},
      {"no Poisson's ratio",
       "MP,EX,1,5\n",
       "",
       {warned("EX 5")},
       refused + "material 1 has no PRXY and no NUXY"},
      {"two materials",
       mpdata,
       "1112",
       {" Warning: the elements use 2 materials; input.dat gives the solver one, E = 1.0 and v "
        "= 0.3: translate the parts of each material apart"},
       refused + "the elements use 2 materials, input.dat holds one"},
      {"by temperature",
       "MPDATA,R5.0, 2,EX  ,       1, 1, 1.0, 2.0\nMP,PRXY,1,0.3\n",
       "",
       {warned("EX 1.0 (by temperature) and PRXY 0.3")},
       refused + "the EX of material 1 is given at more than one temperature, input.dat holds "
                 "one value"},
      {"a second MPDATA",
       mpdata + "MPDATA,R5.0, 1,PRXY,       1, 2, 0.3,\n",
       "",
       {warned("EX 2.000000000E+11 and PRXY 0.280000000 (by temperature)")},
       refused + "the PRXY of material 1 is given at more than one temperature, input.dat "
                 "holds one value"},
      {"too long for a record",
       "MP,EX,1," + std::string(40, '1') + "\nMP,PRXY,1,0.3\n",
       "",
       {warned("EX " + std::string(40, '1') + " and PRXY 0.3")},
       refused + "the constants of material 1 are too long for the material record of input.dat"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Model model;
    model.after = kFixed123 + c.records;
    model.materials = c.materials;
    ExpectRuns(model, 0, c.lines);
    const bool refusal = c.with_option.starts_with(refused);
    ExpectRuns(model, refusal ? 1 : 0,
               refusal ? std::vector{c.with_option} : std::vector<std::string>{}, false, true);
    ScopedTempDir dir;
    EXPECT_EQ(Translate(model, 1, ModelMode::kAsWritten, !refusal).material_record,
              refusal ? written : c.with_option);
  }
}

}  // namespace
