// The node and element blocks read on several threads give what the record
// by record reading gives: the same tables, console messages, diagnostic,
// status and next record, whatever the threads and however the model file's
// buffer cuts the block into batches.
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "model/displacement_constraints.h"
#include "model/element_block.h"
#include "model/node_block.h"
#include "test_support.h"
#include "textio/diagnostics.h"

namespace {

struct Pass {
  int status = -1;  // -1: the reader returned
  std::string out, err, next;
  std::vector<double> coords;  // NodeCoords, then FieldPointCoords
  std::vector<int> elements;   // TriangleCount, TriangleNodes, ElementTriangles, FieldCellNodes
  bool operator==(const Pass&) const = default;
};

template <class T>
void Append(std::vector<T>& to, const T* from, std::int64_t count) {
  to.insert(to.end(), from, from + count);
}

// Reads the block of `model` (nodes when `elements` is false) with `jobs`
// threads through a model-file buffer of `buffer` bytes.
Pass ReadBlock(const std::string& model, bool elements, int jobs, std::size_t buffer,
               const RunTables& counts) {
  test_support::WriteFile("ANSYS_Model.cdb", model);
  InputFile file("ANSYS_Model.cdb", kModelUnit, buffer);
  RunTables run;
  run.NodeCount = counts.NodeCount;
  run.FieldPointCount = counts.FieldPointCount;
  run.ElementCount = counts.ElementCount;
  run.FieldCellCount = counts.FieldCellCount;
  AllocateTables(run);
  for (std::int32_t i = 1; i <= run.NodeCount; ++i) {
    double* xyz = run.NodeCoords.Column(i);
    // A wavy strip, so that quadrilaterals are cut both ways.
    xyz[0] = (i - 1) / 2;
    xyz[1] = (i - 1) % 2 * (1.0 + 0.3 * ((i / 2) % 3));
    xyz[2] = 0.0;
  }
  OutputFile console = OutputFile::Console();
  Pass pass;
  testing::internal::CaptureStdout();
  const test_support::RunResult ended = test_support::CatchRunEnded([&] {
    if (elements) {
      ReadElementBlock(file, run, jobs);
    } else {
      ReadNodeBlock(file, run, console, jobs);
    }
    std::string_view next;
    pass.next = file.NextRecord(next) ? std::string(next) : "(end)";
  });
  console.Flush();
  pass.out = testing::internal::GetCapturedStdout();
  pass.status = ended.status;
  pass.err = ended.err;
  if (pass.status != -1) return pass;  // the tables of a failed run mean nothing
  if (elements) {
    pass.elements.push_back(run.TriangleCount);
    Append(pass.elements, run.TriangleNodes.data(), 3 * std::int64_t{run.TriangleCount});
    Append(pass.elements, run.ElementTriangles.data(), run.ElementTriangles.size());
    Append(pass.elements, run.FieldCellNodes.data(), run.FieldCellNodes.size());
  } else {
    Append(pass.coords, run.NodeCoords.data(), run.NodeCoords.size());
    Append(pass.coords, run.FieldPointCoords.data(), run.FieldPointCoords.size());
  }
  return pass;
}

// Every number of threads and buffer size against one thread.
void ExpectSameAsOneThread(const std::string& model, bool elements, const RunTables& counts,
                           const Pass* expected = nullptr) {
  test_support::ScopedTempDir dir;
  for (std::size_t buffer : {std::size_t{64}, std::size_t{500}, kDefaultFileBufferSize}) {
    const Pass sequential = ReadBlock(model, elements, 1, buffer, counts);
    if (expected != nullptr) {
      EXPECT_EQ(sequential.status, expected->status);
      EXPECT_EQ(sequential.out, expected->out);
      EXPECT_EQ(sequential.next, expected->next);
    }
    for (int jobs : {2, 3, 7}) {
      SCOPED_TRACE(testing::Message() << "buffer " << buffer << ", jobs " << jobs);
      const Pass parallel = ReadBlock(model, elements, jobs, buffer, counts);
      EXPECT_EQ(parallel.status, sequential.status);
      EXPECT_EQ(parallel.out, sequential.out);
      EXPECT_EQ(parallel.err, sequential.err);
      EXPECT_EQ(parallel.next, sequential.next);
      EXPECT_TRUE(parallel.coords == sequential.coords);
      EXPECT_EQ(parallel.elements, sequential.elements);
    }
  }
}

std::string NodeRecord(int number, double x) {
  char text[80];
  std::snprintf(text, sizeof text, "%8d%8d%8d%16.9E%16.9E%16.9E", number, 0, 0, x, -x / 3, x * 7);
  return text;
}

// " Node number error ni, i =" with ni and i in 12 columns each.
std::string Mismatch(int number, int position) {
  char text[80];
  std::snprintf(text, sizeof text, "  Node number error ni, i =%12d%12d\r\n", number, position);
  return text;
}

TEST(ParallelReading, NodeBlockMessagesAndFailuresInRecordOrder) {
  RunTables counts;
  counts.NodeCount = 30;
  counts.FieldPointCount = 7;
  struct Case {
    const char* name;
    std::vector<std::pair<int, std::string>> changes;  // block position from 1, record
    int records;                                       // in the block
    const char* end;                                   // after the block
    int status;
    std::string out;  // derived by hand; "" when only compared
  };
  const Case cases[] = {
      {"regular", {}, 37, "N,R5.3,LOC,       -1,\n", -1, ""},
      {"mismatches: nodes 3 and 17, field point 2",
       {{3, NodeRecord(5, 1.0)}, {17, NodeRecord(1, 2.0)}, {32, NodeRecord(99, 3.0)}},
       37,
       "-1\n",
       -1,
       Mismatch(5, 3) + Mismatch(1, 17) + Mismatch(99, 2)},
      {"conversion failure at 20: messages before it only",
       {{3, NodeRecord(5, 1.0)}, {20, "       X"}, {25, NodeRecord(7, 1.0)}},
       37,
       "-1\n",
       64,
       Mismatch(5, 3)},
      {"two failures: the earlier wins",
       {{9, "   1.5"}, {30, "abc"}, {2, NodeRecord(8, 0.5)}},
       37,
       "",
       64,
       Mismatch(8, 2)},
      {"end of file inside the block", {{5, NodeRecord(6, 1.0)}}, 25, "", 24, Mismatch(6, 5)},
      {"last record without a line feed", {}, 37, nullptr, -1, ""},
      {"comma and short records",
       {{4, "       4,0,0,1.5,2.5"}, {11, "      11"}},
       37,
       "FINISH\n",
       -1,
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string model = "/PREP7\nNBLOCK,6,SOLID\n(3i8,6e16.9)\n";
    for (int p = 1; p <= c.records; ++p) {
      std::string record = NodeRecord(p, p * 0.25);
      for (const auto& [at, changed] : c.changes) {
        if (at == p) record = changed;
      }
      model += record;
      if (c.end != nullptr || p < c.records) model += "\n";
    }
    if (c.end != nullptr) model += c.end;
    Pass expected;
    expected.status = c.status;
    expected.out = c.out;
    if (c.status == -1) {
      expected.next =
          c.end == nullptr ? "(end)" : std::string(c.end).substr(0, std::strlen(c.end) - 1);
    }
    ExpectSameAsOneThread(model, false, counts,
                          c.status != -1 || !c.out.empty() ? &expected : nullptr);
    ExpectSameAsOneThread(test_support::WithCrLf(model), false, counts);
    // A header may give fewer than no nodes: every record is a field point,
    // and field point j is expected to be numbered NodeCount + j.
    RunTables no_nodes;
    no_nodes.NodeCount = -3;
    no_nodes.FieldPointCount = 37;
    ExpectSameAsOneThread(model, false, no_nodes);
  }
  test_support::ScopedTempDir dir;
  RunTables no_nodes;
  no_nodes.NodeCount = -1;
  no_nodes.FieldPointCount = 2;
  // Field point 1 is expected to be numbered 0, field point 2 to be 1.
  const std::string model =
      "(3i8,6e16.9)\n" + NodeRecord(1, 0.5) + "\n" + NodeRecord(1, 0.5) + "\n";
  for (int jobs : {1, 2})
    EXPECT_EQ(ReadBlock(model, false, jobs, 64, no_nodes).out, Mismatch(1, 1));
}

// An element record of fields of `width` columns, or of values parted by
// commas when `width` is 0.
std::string ElementRecord(int number, int i, int j, int k, int l, int width = 9) {
  const int values[] = {1, 1, 1, 1, 0, 0, 0, 0, k == l ? 3 : 4, 0, number, i, j, k, l};
  std::string text;
  for (int value : values) {
    char field[16];
    std::snprintf(field, sizeof field, width == 0 ? "%d," : "%*d", width == 0 ? value : width,
                  value);
    text += field;
  }
  return text;
}

TEST(ParallelReading, ElementBlockIrregularRecordsTakenInSequence) {
  RunTables counts;
  counts.NodeCount = 40;
  counts.ElementCount = 30;
  counts.FieldCellCount = 4;
  counts.FieldPointCount = 0;
  const std::string quad = ElementRecord(12, 5, 6, 8, 7);
  struct Case {
    const char* name;
    std::vector<std::pair<int, std::string>> changes;  // block position from 1, record(s)
    int records;
    int status;
  };
  const Case cases[] = {
      {"regular", {}, 34, -1},
      {"an element on two records", {{12, quad.substr(0, 99) + "\n" + quad.substr(99)}}, 34, -1},
      {"a blank record before an element", {{7, "\n" + ElementRecord(7, 9, 10, 12, 11)}}, 34, -1},
      {"repeats and commas",
       {{3, "4*1,0,0,0,0,4,0,3,3,4,6,5"}, {20, "1,1,1,1,4*,4,,20,21,22,24,23"}},
       34,
       -1},
      {"end of file inside the field cells", {}, 33, kEndOfFile},
      {"a slash ends a record early", {{9, "1 1 1 1 0 0 0 0 3 0 9 17 18 19 19 / 5"}}, 34, -1},
      {"elements out of order",
       {{1, ElementRecord(30, 1, 2, 4, 3)}, {30, ElementRecord(1, 3, 4, 6, 5)}},
       34,
       -1},
      {"a volume element",
       {{12, "1 1 1 1 0 0 0 0 20 0 12 5 6 8 7 1 2 3 4\n9 10 11 12 13 14"}},
       34,
       1},
      {"syntax error at 20", {{20, "1 1 1 x 0 0 0 0 3 0 20 1 2 3 3"}}, 34, kSyntaxError},
      {"an element number out of range before a syntax error",
       {{15, ElementRecord(31, 1, 2, 3, 3)}, {28, "1 1 1 x"}},
       34,
       1},
      {"a corner outside the nodes", {{5, ElementRecord(5, 1, 2, 41, 3)}}, 34, 1},
      {"an integer too large",
       {{25, "1 1 1 1 0 0 0 0 3 0 25 1 2 3 3000000000"}},
       34,
       kInputConversion},
      {"a block shorter than its counts", {}, 32, kSyntaxError},
  };
  // The same values in fields of 9 columns, of 8 and 10 (the fast read at
  // each width) and parted by commas (the free-form read alone): the same
  // tables, messages and status.
  auto block = [](const Case& c, int width) {
    const int format_width = width == 0 ? 9 : width;
    std::string model = "EBLOCK,19,SOLID,      34\n(19i" + std::to_string(format_width) + ")\n";
    for (int p = 1; p <= c.records; ++p) {
      // Boundary elements: a strip of quadrilaterals, every third a triangle;
      // field cells: corners beyond the nodes.
      const int n = 2 * (p - 1) % 36 + 1;
      std::string record =
          p <= 30 ? ElementRecord(p, n, n + 1, n + 3, p % 3 == 0 ? n + 3 : n + 2, width)
                  : ElementRecord(0, 40 + p, 41 + p, 42 + p, 43 + p, width);
      for (const auto& [at, changed] : c.changes) {
        if (at == p) record = changed;
      }
      model += record + "\n";
    }
    if (c.records != 33) model += "      -1\nCMBLOCK,FIELD\n";
    return model;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string model = block(c, 9);
    Pass expected;
    expected.status = c.status;
    expected.next = c.status == -1 ? "      -1" : "";
    ExpectSameAsOneThread(model, true, counts, c.status == -1 ? &expected : nullptr);
    test_support::ScopedTempDir dir;
    EXPECT_EQ(ReadBlock(model, true, 2, 64, counts).status, c.status);
    const Pass nine = ReadBlock(model, true, 1, kDefaultFileBufferSize, counts);
    for (int width : {8, 10, 0}) {
      SCOPED_TRACE(testing::Message() << "width " << width);
      const Pass other = ReadBlock(block(c, width), true, 1, kDefaultFileBufferSize, counts);
      EXPECT_EQ(other.status, nine.status);
      EXPECT_EQ(other.err, nine.err);
      EXPECT_EQ(other.next, nine.next);
      EXPECT_EQ(other.elements, nine.elements);
    }
  }
}

// A "D," record of node `node`, label `label` and value text `value`.
std::string Constraint(int node, const char* label, const char* value) {
  char text[80];
  std::snprintf(text, sizeof text, "D,%7d,%-4s,%16s, 0.000000000E+00\n", node, label, value);
  return text;
}

// The constraint pass on several threads: displacements applied in record
// order (the last of a node and direction holds), warnings in record order,
// the run ended by the same record with the same diagnostic, the file left
// after the first "FI" record, whatever the threads and the batches.
TEST(ParallelReading, ConstraintRecordsTakenInRecordOrder) {
  constexpr int kNodes = 40;
  struct Case {
    const char* name;
    std::string records;
    int status;
  };
  std::string many;
  for (int k = 0; k < 120; ++k) {
    const char* labels[] = {"UX", "UY", "UZ", "ROTX"};
    char value[24];
    std::snprintf(value, sizeof value, "%.9E", k * 0.25 - 7);
    many += Constraint(1 + (k * 7) % (kNodes + 3), labels[k % 4], value);  // 3 nodes outside
    if (k % 10 == 0) many += "CP,1,UX,2,3\n\n";
  }
  const Case cases[] = {
      {"many, nodes outside warned of", many + "FINISH\nNEXT\n", -1},
      {"a node number that is no number",
       many.substr(0, many.size() / 2) + "D,    1x2,UX  , 1.0\n" + many + "FINISH\n",
       kInvalidInteger},
      {"a value that is no number", many + "D,      3,UY  ,      1.0.0\nFINISH\n", kInvalidReal},
      {"a value that is no number, of a label that changes nothing",
       many + "D,      3,TEMP,      1.0.0\nFINISH\nNEXT\n", -1},
      {"the file ends before FINISH", many, kEndOfFile},
  };
  test_support::ScopedTempDir dir;
  for (const Case& c : cases) {
    test_support::WriteFile("ANSYS_Model.cdb", c.records);
    auto read = [&](int jobs, std::size_t buffer) {
      InputFile file("ANSYS_Model.cdb", kModelUnit, buffer);
      RunTables run;
      run.NodeCount = kNodes;
      run.ElementCount = 1;
      run.HasDisplacements = true;
      AllocateTables(run);
      Pass pass;
      const test_support::RunResult ended = test_support::CatchRunEnded([&] {
        ReadDisplacementConstraints(file, run, jobs);
        std::string_view next;
        pass.next = file.NextRecord(next) ? std::string(next) : "(end)";
      });
      pass.status = ended.status;
      pass.err = ended.err;
      Append(pass.coords, run.NodeDisplacements.data(), run.NodeDisplacements.size());
      return pass;
    };
    const Pass sequential = read(1, kDefaultFileBufferSize);
    EXPECT_EQ(sequential.status, c.status) << c.name;
    if (c.status == -1) {
      EXPECT_EQ(sequential.next, "NEXT") << c.name;
      EXPECT_NE(sequential.err.find("constraint on node 41 ignored"), std::string::npos);
    }
    for (std::size_t buffer : {std::size_t{64}, std::size_t{500}, kDefaultFileBufferSize}) {
      for (int jobs : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << c.name << ", buffer " << buffer << ", jobs " << jobs);
        const Pass parallel = read(jobs, buffer);
        EXPECT_EQ(parallel.status, sequential.status);
        EXPECT_EQ(parallel.err, sequential.err);
        if (c.status == -1) {
          EXPECT_EQ(parallel.next, sequential.next);
          EXPECT_TRUE(parallel.coords == sequential.coords);
        }
      }
    }
  }
}

}  // namespace
