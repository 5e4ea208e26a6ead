// The diagnostic lines, number by number, and the texts of the run's own
// refusals and warnings.
#include "textio/diagnostics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Expected {
  int number;
  const char* text;
  bool names_file;  // the text goes on with ", unit %d, file %s"
};

// Every diagnostic the run may raise, with its words.
constexpr Expected kExpected[] = {
    {24, "end-of-file during read", true},
    {29, "file not found", true},
    {9, "permission to access file denied", true},
    {42, "no such device", true},
    {43, "file name specification error", true},
    {30, "open failure", true},
    {39, "error during read", true},
    {38, "error during write", true},
    {59, "list-directed I/O syntax error", true},
    {63, "output conversion error", true},
    {64, "input conversion error", true},
    {41, "insufficient virtual memory", false},
    {179, "Cannot allocate array - overflow on array size calculation.", false},
    {545, "invalid INTEGER", false},
    {547, "invalid REAL", false},
};

TEST(Diagnostics, EveryNumberHasItsFullLine) {
  // A number added to the program's table needs its row here.
  std::vector<int> tested;
  for (const Expected& e : kExpected) tested.push_back(e.number);
  std::vector<int> raised = DiagnosticNumbers();
  std::sort(tested.begin(), tested.end());
  std::sort(raised.begin(), raised.end());
  EXPECT_EQ(raised, tested);

  const std::string path = "/home/user/model dir/ANSYS_Model.cdb";
  for (const Expected& e : kExpected) {
    SCOPED_TRACE(e.number);
    const std::string head = "runerr: severe (" + std::to_string(e.number) + "): " + e.text;
    // Diagnostics without a file ignore the unit and the path they are given.
    EXPECT_EQ(DiagnosticLine(e.number, 5, path),
              e.names_file ? head + ", unit 5, file " + path : head);
    EXPECT_EQ(DiagnosticLine(e.number, 8, ""), e.names_file ? head + ", unit 8, file " : head);
    EXPECT_EQ(DiagnosticLine(e.number, 0, {}), e.names_file ? head + ", unit 0, file " : head);

    // Raised: the line and its CR LF on standard error, the number as status.
    testing::internal::CaptureStderr();
    int status = -1;
    try {
      RaiseDiagnostic(e.number, 6, path);
    } catch (const RunEnded& ended) {
      status = ended.status;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), DiagnosticLine(e.number, 6, path) + "\r\n");
    EXPECT_EQ(status, e.number);
  }
  EXPECT_EQ(DiagnosticLine(1, 5, path), "runerr: severe (1): unknown diagnostic");
}

TEST(Diagnostics, RefusalsAndWarnings) {
  const std::string cases[][2] = {
      {ElementNumberOutOfRange(21, 20),
       " ANSYS cdb file error: element number 21, outside 1 to 20"},
      {ElementNodeOutOfRange(17, -3, 500),
       " ANSYS cdb file error: element 17 has node -3, outside 1 to 500"},
      {ElementNotSurface(1, 20),
       " ANSYS cdb file error: element 1 has 20 nodes, not a surface element"},
      {ElementNotSurface(-4, 1),
       " ANSYS cdb file error: element -4 has 1 node, not a surface element"},
      {ConstraintNodeIgnored(0, 15), " Warning: constraint on node 0 ignored, outside 1 to 15"},
      {PressureElementOutOfRange(-2147483647 - 1, 0),
       " Warning: pressure on element -2147483648 ignored, outside 1 to 0"},
      {PressureElementWithoutTriangles(5),
       " Warning: pressure on element 5 ignored, no boundary element record carries it"},
      {PressureUsesSecondTriangle(6),
       " Warning: pressure on element 6: first triangle has no normal, the second triangle's normal is used"},
      {PressureWithoutNormal(4),
       " Warning: pressure on element 4 ignored, neither of its triangles has a normal"},
      {std::string(kStructureErrorMessage), " ANSYS cdb file error!"},
  };
  for (const auto& [actual, expected] : cases) EXPECT_EQ(actual, expected);

  testing::internal::CaptureStderr();
  int status = -1;
  try {
    StopWithModelError(ElementNumberOutOfRange(0, 3));
  } catch (const RunEnded& ended) {
    status = ended.status;
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            " ANSYS cdb file error: element number 0, outside 1 to 3\r\n");
  EXPECT_EQ(status, 1);
}

}  // namespace
