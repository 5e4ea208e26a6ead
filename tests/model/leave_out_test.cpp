// Element types left out of a rebuilt model (--leave-out): the list, and
// whole runs compared with the same model written without those elements.
#include "model/leave_out.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/model_text.h"
#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

using model_text::CubeNodes;
using model_text::Element;
using model_text::ExpectSameAs;
using model_text::Model;
using model_text::Sfe;
using test_support::ScopedTempDir;

LeaveOutList ListOf(const char* text) {
  const ParsedLeaveOut parsed = ParseLeaveOut(text);
  EXPECT_EQ(parsed.error, "") << text;
  return parsed.list;
}

TEST(LeaveOutList, ItemsAreNumbersRangesOrElementNames) {
  struct Row {
    const char* text;
    const char* written;  // the list as LeaveOutText gives it back; empty: refused
    const char* error;
  };
  const Row rows[] = {
      {"3", "3", ""},
      {"5-7", "5-7", ""},
      {"conta174", "CONTA174", ""},
      {"3,5-7,Solid185,1", "3,5-7,SOLID185,1", ""},
      {"", "", "an item is empty"},
      {"1,", "", "an item is empty"},
      {"0", "", "'0' is no local type number (1 or more), range a-b or ANSYS element name"},
      {"2147483648", "",
       "'2147483648' is no local type number (1 or more), range a-b or ANSYS element name"},
      {"1-", "", "'1-' is no local type number (1 or more), range a-b or ANSYS element name"},
      {"1-2-3", "", "'1-2-3' is no local type number (1 or more), range a-b or ANSYS element name"},
      {" 1", "", "' 1' is no local type number (1 or more), range a-b or ANSYS element name"},
      {"7-5", "", "'7-5' is a range from high to low"},
      {"SOLID", "", "'SOLID' is no ANSYS element name"},
      {"1,CONTA17", "", "'CONTA17' is no ANSYS element name"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const ParsedLeaveOut parsed = ParseLeaveOut(row.text);
    EXPECT_EQ(parsed.error, row.error);
    EXPECT_EQ(LeaveOutText(parsed.list), row.written);
  }
}

TEST(LeaveOutList, NamesStandForEveryLocalTypeOfThatElement) {
  ElementTypes types;
  for (const char* record : {"ET,1,185", "ET,2,174", "ET,3,SHELL181", "ET,7,174", "ET,9,170"}) {
    types.Take(record);
  }
  struct Row {
    const char* list;
    std::vector<int> left_out;  // of types 1 to 10
    const char* absent;
  };
  const Row rows[] = {
      {"CONTA174", {2, 7}, ""},
      {"conta174,targe170", {2, 7, 9}, ""},
      {"8-10,1", {1, 8, 9, 10}, ""},
      // A number is taken as it is, defined or not.
      {"4", {4}, ""},
      {"2,SOLID187", {}, "SOLID187"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.list);
    LeftOutTypes left_out;
    EXPECT_EQ(ResolveLeaveOut(ListOf(row.list), types, left_out), row.absent);
    if (*row.absent != '\0') continue;
    std::vector<int> got;
    for (int itype = 1; itype <= 10; ++itype) {
      if (left_out.Contains(itype)) got.push_back(itype);
    }
    EXPECT_EQ(got, row.left_out);
  }
}

// The faces of the unit cube of CubeNodes(1) as shells, types 1 (faces 1 to
// 3) and 2 (4 to 6); a contact element on face 6 (type 3), a spring across
// the cube (type 4) and a field cell of type 5 on four nodes apart.
const char* kSurfaceTypes =
    "ET,        1,181\nET,        2,181\nET,        3,174\nET,        4,14\nET,        5,181\n";

Model SurfaceModel(bool contact_and_spring, bool faces_4_to_6) {
  Model model{kSurfaceTypes, CubeNodes(1), {}, ""};
  for (int n = 11; n <= 14; ++n) model.nodes.push_back({n, 3.0 + n % 2, 0.5 * (n / 13), 0.0});
  model.elements = {{1, 1, {2, 1, 4, 3}}, {1, 2, {1, 2, 6, 5}}, {1, 3, {2, 3, 7, 6}}};
  if (faces_4_to_6) {
    model.elements.insert(model.elements.end(),
                          {{2, 4, {3, 4, 8, 7}}, {2, 5, {4, 1, 5, 8}}, {2, 6, {5, 6, 7, 8}}});
  }
  if (contact_and_spring) {
    model.elements.insert(model.elements.end(), {{3, 7, {5, 6, 7, 8}}, {4, 8, {1, 7}}});
  }
  model.elements.push_back({5, 9, {11, 12, 14, 13}});
  model.after = (contact_and_spring ? Sfe(7, 1, 4, 4, 4, 4) : "") +
                (faces_4_to_6 ? Sfe(5, 1, 1, 2, 3, 4) : "") + Sfe(2, 1, 8, 8, 8, 8) +
                model_text::Component("FIELDPOINTS", "NODE", "        11       -14", 2) +
                model_text::Component("FIELDCELLS", "ELEM", "         9", 1);
  return model;
}

std::string PressuresOffTheModel(int count) {
  return PressuresDropped(count, kPressuresOffTheModel) + "\r\n";
}

TEST(LeaveOut, ElementsOfTheTypesAreNotReadAndTheirPressuresAreDropped) {
  struct Row {
    const char* list;
    bool faces_4_to_6;  // kept in the model written without the elements
    int pressures_dropped;
  };
  // The pressure on the contact element goes with it; that on element 5
  // with faces 4 to 6. The field cell is never left out.
  const Row rows[] = {
      {"3-4", true, 1},  {"CONTA174,COMBIN14", true, 1}, {"4,conta174", true, 1}, {"3-5", true, 1},
      {"2-4", false, 2}, {"2,3,4,COMBIN14", false, 2},   {"4,3,4,2-3", false, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.list);
    ScopedTempDir dir;
    // Without --skin the list renumbers the model.
    ExpectSameAs(SurfaceModel(true, true), RebuildOptions(ModelMode::kAsWritten, ListOf(row.list)),
                 SurfaceModel(false, row.faces_4_to_6), ModelMode::kRenumbered,
                 PressuresOffTheModel(row.pressures_dropped));
  }
}

TEST(LeaveOut, AListThatLeavesAnElementItCannotTakeOrNamesNoTypeIsRefused) {
  struct Row {
    const char* list;
    ModelMode mode;
    std::string err;
  };
  const Row rows[] = {
      {"3", ModelMode::kRenumbered,
       " ANSYS cdb file error: element 8 (COMBIN14) is a line element, not a surface element\r\n"},
      {"4", ModelMode::kRenumbered,
       " ANSYS cdb file error: element 7 (CONTA174) is a contact element, not a surface element\r\n"},
      {"3-4,SOLID185", ModelMode::kRenumbered,
       " ANSYS cdb file error: --leave-out: no local type of the model is SOLID185\r\n"},
      {"3-4,SOLID185", ModelMode::kSkin,
       " ANSYS cdb file error: --leave-out: no local type of the model is SOLID185\r\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.list);
    ScopedTempDir dir;
    test_support::WriteFile("ANSYS_Model.cdb", CdbText(SurfaceModel(true, true)));
    const test_support::RunResult run = model_text::Run(RebuildOptions(row.mode, ListOf(row.list)));
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, row.err);
    EXPECT_FALSE(std::filesystem::exists("input.dat"));
  }
}

TEST(LeaveOut, ASkinWithoutTheElementsItCannotTake) {
  // A brick with a contact element and a target element on two of its faces
  // and a spring across it: their types left out, its skin is the brick's.
  Model mixed{"ET,        1,185\nET,        2,174\nET,        3,14\nET,        4,170\n",
              CubeNodes(1),
              {{1, 1, {1, 2, 3, 4, 5, 6, 7, 8}},
               {2, 2, {5, 6, 7, 8}},
               {3, 3, {1, 7}},
               {4, 4, {2, 1, 4, 3}}},
              Sfe(2, 1, 5, 5, 5, 5) + Sfe(1, 6, 1, 2, 3, 4)};
  Model brick{"ET,        1,185\n",
              CubeNodes(1),
              {{1, 1, {1, 2, 3, 4, 5, 6, 7, 8}}},
              Sfe(1, 6, 1, 2, 3, 4)};
  const std::string dropped = PressuresDropped(1, kPressuresOffTheSkin) + "\r\n";
  for (const char* list : {"2-4", "conta174,3,TARGE170", "2,3-4"}) {
    SCOPED_TRACE(list);
    ScopedTempDir dir;
    ExpectSameAs(mixed, RebuildOptions(ModelMode::kSkin, ListOf(list)), brick, ModelMode::kSkin,
                 dropped);
  }
}

}  // namespace
