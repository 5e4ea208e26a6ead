// Small model files as ANSYS writes them, and whole runs on them, for the
// tests of the rebuilt translations.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "driver/check_run.h"
#include "driver/model_reading.h"
#include "driver/translation_run.h"
#include "test_support.h"

namespace model_text {

struct Node {
  int number;
  double x, y, z;
  const char* rotation = "";  // THXY, THYZ, THZX after z
};

struct Element {
  int type;
  int number;
  std::vector<int> nodes;
  int material = 1;
};

// A model file as ANSYS writes one: the offset header, type records, the
// node block, the element block (nodes after the eighth on the next record),
// then `after` and FINISH.
struct Model {
  std::string types;
  std::vector<Node> nodes;
  std::vector<Element> elements;
  std::string after;
};

inline std::string Format(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

inline std::string CdbText(const Model& model) {
  int highest_node = 0;
  int highest_element = 0;
  for (const Node& n : model.nodes) highest_node = std::max(highest_node, n.number);
  for (const Element& e : model.elements) highest_element = std::max(highest_element, e.number);
  std::string text = "/PREP7\n*ELSE\n";
  text += Format("NUMOFF,NODE,%9d\nNUMOFF,ELEM,%9d\n", highest_node, highest_element);
  text += model.types + "NBLOCK,6,SOLID\n(3i9,6e21.13e3)\n";
  // Written as "%9d" and "%21.13E" print, without snprintf, which takes a
  // tenth of a second for the largest model of the tests.
  using test_support::AppendExponent;
  using test_support::AppendInteger;
  for (const Node& n : model.nodes) {
    AppendInteger(text, n.number, 9);
    text += "        0        0";
    for (double value : {n.x, n.y, n.z}) AppendExponent(text, value, 21, 13);
    text += n.rotation;
    text += "\n";
  }
  text += "N,R5.3,LOC,       -1,\nEBLOCK,19,SOLID\n(19i9)\n";
  for (const Element& e : model.elements) {
    for (int value :
         {e.material, e.type, 1, 1, 0, 0, 0, 0, static_cast<int>(e.nodes.size()), 0, e.number}) {
      AppendInteger(text, value, 9);
    }
    for (std::size_t k = 0; k < e.nodes.size(); ++k) {
      if (k == 8) text += "\n";
      AppendInteger(text, e.nodes[k], 9);
    }
    text += "\n";
  }
  return text + "       -1\n" + model.after + "FINISH\n";
}

// An SFE command of label PRES with its four values.
inline std::string Sfe(int element, int key, double p1, double p2, double p3, double p4) {
  return Format("SFE,%8d,%4d,PRES, 0,R5.0\n", element, key) +
         Format("%16.8f%16.8f%16.8f%16.8f\n", p1, p2, p3, p4) + "0 0 0 0\n0 0 0 0\n";
}

inline std::string Component(const char* name, const char* kind, const std::string& values,
                             int count) {
  return Format("CMBLOCK,%-8s,%s,%8d  ! users component definition\n(8i10)\n", name, kind, count) +
         values + "\n";
}

// A unit cube, its nodes numbered from `first`: corners I J K L at z = 0
// counter-clockwise from the origin, M N O P above them.
inline std::vector<Node> CubeNodes(int first) {
  const double corners[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  std::vector<Node> nodes;
  for (int k = 0; k < 8; ++k)
    nodes.push_back({first + k, corners[k][0], corners[k][1], corners[k][2]});
  return nodes;
}

// A translation of ANSYS_Model.cdb in the working directory, or its check.
inline test_support::RunResult Run(const RebuildOptions& reading, bool check = false) {
  test_support::RunResult result;
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  result.status = check ? RunCheck(1, reading) : RunTranslation({}, 1, reading);
  result.out = testing::internal::GetCapturedStdout();
  result.err = testing::internal::GetCapturedStderr();
  return result;
}

// The three files a rebuilt translation writes.
inline std::vector<std::string> ReadOutputs() {
  return {test_support::ReadFile("input.dat"), test_support::ReadFile("input.plt"),
          test_support::ReadFile("input-map.csv")};
}

// Translates `model` with `reading` and `equivalent` (written by hand as
// what it must amount to) with `equivalent_reading`: the files must be the
// same bytes, and the warnings `expected_err` followed by the equivalent's.
inline void ExpectSameAs(const Model& model, const RebuildOptions& reading, const Model& equivalent,
                         const RebuildOptions& equivalent_reading,
                         const std::string& expected_err) {
  test_support::WriteFile("ANSYS_Model.cdb", CdbText(equivalent));
  const test_support::RunResult plain = Run(equivalent_reading);
  ASSERT_EQ(plain.status, 0) << plain.err;
  const std::vector<std::string> expected = ReadOutputs();
  test_support::WriteFile("ANSYS_Model.cdb", CdbText(model));
  const test_support::RunResult run = Run(reading);
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, expected_err + plain.err);
  EXPECT_EQ(ReadOutputs(), expected);
}

}  // namespace model_text
