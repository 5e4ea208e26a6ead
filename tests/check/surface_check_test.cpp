#include "check/surface_check.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "check/check_report.h"

namespace {

using Point = std::array<double, 3>;
using Corners = std::array<std::int32_t, 3>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A run whose elements are its triangles, one each, traction-prescribed
// unless `displacement` lists them.
RunTables MakeRun(const std::vector<Point>& nodes, const std::vector<Corners>& triangles,
                  const std::vector<std::int32_t>& displacement = {}) {
  RunTables run;
  run.NodeCount = static_cast<std::int32_t>(nodes.size());
  run.ElementCount = static_cast<std::int32_t>(triangles.size());
  AllocateTables(run);
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    for (std::size_t k = 0; k < 3; ++k) {
      run.NodeCoords(static_cast<std::int64_t>(k) + 1, static_cast<std::int64_t>(i) + 1) =
          nodes[i][k];
    }
  }
  run.TriangleCount = run.ElementCount;
  for (std::int32_t t = 1; t <= run.TriangleCount; ++t) {
    for (std::size_t k = 0; k < 3; ++k) {
      const std::int64_t row = static_cast<std::int64_t>(k) + 1;
      run.TriangleNodes(row, t) = triangles[static_cast<std::size_t>(t - 1)][k];
      run.TriangleBcKinds(row, t) = kTractionPrescribed;
      run.TriangleBcValues(row, t) = 0.0;
    }
    run.ElementTriangles(t, 1) = t;
    run.ElementTriangles(t, 2) = t;
  }
  for (std::int32_t t : displacement) {
    for (int d = 1; d <= 3; ++d) run.TriangleBcKinds(d, t) = kDisplacementPrescribed;
  }
  return run;
}

const std::vector<Point> kTetra = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
// Normals out of the body: -z, -y, -x and (1, 1, 1).
const std::vector<Corners> kTetraOut = {{1, 3, 2}, {1, 2, 4}, {1, 4, 3}, {2, 3, 4}};

struct Figures {
  std::int64_t open, non_manifold, conflicts, shells, closed;
  double volume;
  std::int64_t degenerate, coincident, unused, displacement, traction, problems;
};

struct Case {
  const char* name;
  std::vector<Point> nodes;
  std::vector<Corners> triangles;
  std::vector<std::int32_t> displacement;
  Figures want;
  std::vector<std::uint8_t> flags;
};

std::vector<Point> Shifted(std::vector<Point> nodes, double dx) {
  for (Point& p : nodes) p[0] += dx;
  return nodes;
}

std::vector<Point> Concat(std::vector<Point> a, const std::vector<Point>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(SurfaceCheck, FiguresOfSmallSurfaces) {
  const Case cases[] = {
      {"closed tetrahedron, no displacement",
       kTetra,
       kTetraOut,
       {},
       {0, 0, 0, 1, 1, 1.0 / 6, 0, 0, 0, 0, 4, 1},
       {0, 0, 0, 0}},
      {"closed tetrahedron, one fixed triangle",
       kTetra,
       kTetraOut,
       {2},
       {0, 0, 0, 1, 1, 1.0 / 6, 0, 0, 0, 1, 3, 0},
       {0, 0, 0, 0}},
      {"all reversed: negative volume",
       kTetra,
       {{1, 2, 3}, {1, 4, 2}, {1, 3, 4}, {2, 4, 3}},
       {1},
       {0, 0, 0, 1, 1, -1.0 / 6, 0, 0, 0, 1, 3, 1},
       {0, 0, 0, 0}},
      // Only the face away from node 1 (the origin) adds to the sum, reversed.
      {"one reversed face: three conflicts",
       kTetra,
       {{1, 3, 2}, {1, 2, 4}, {1, 4, 3}, {2, 4, 3}},
       {1},
       {0, 0, 3, 1, 1, -1.0 / 6, 0, 0, 0, 1, 3, 4},
       {2, 2, 2, 2}},
      {"one face missing: three open edges",
       kTetra,
       {{1, 3, 2}, {1, 2, 4}, {1, 4, 3}},
       {1},
       {3, 0, 0, 1, 0, 0.0, 0, 0, 0, 1, 2, 3},
       {0, 0, 0}},
      {"a fin on edge 1-2: non-manifold",
       Concat(kTetra, {{1, 1, -1}}),
       {{1, 3, 2}, {1, 2, 4}, {1, 4, 3}, {2, 3, 4}, {1, 2, 5}},
       {1},
       {2, 1, 0, 1, 0, 0.0, 0, 0, 0, 1, 4, 3},
       {0, 0, 0, 0, 0}},
      {"two tetrahedra apart",
       Concat(kTetra, Shifted(kTetra, 10.0)),
       {{1, 3, 2}, {1, 2, 4}, {1, 4, 3}, {2, 3, 4}, {5, 7, 6}, {5, 6, 8}, {5, 8, 7}, {6, 7, 8}},
       {1},
       {0, 0, 0, 2, 2, 2.0 / 6, 0, 0, 0, 1, 7, 0},
       {0, 0, 0, 0, 0, 0, 0, 0}},
      // Collinear, a corner at infinity, a corner repeated: edge 1-2 is used
      // four times (the last triangle runs along it both ways).
      {"degenerate triangles",
       {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {kInf, 0, 0}},
       {{1, 2, 3}, {1, 2, 4}, {1, 2, 1}},
       {},
       {4, 1, 0, 1, 0, 0.0, 3, 0, 0, 0, 3, 9},
       {1, 1, 1}},
      {"a corner not a number",
       {{0, 0, 0}, {1, 0, 0}, {0, kNaN, 0}},
       {{1, 2, 3}},
       {1},
       {3, 0, 0, 1, 0, 0.0, 1, 0, 0, 1, 0, 4},
       {1}},
      // 1, 4 (-0.0) and 7 share a place, 2 and 6 another; 5 is not a number.
      {"coincident and unused nodes",
       {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {-0.0, 0, 0}, {kNaN, 0, 0}, {1, 0, 0}, {0, 0, 0}},
       {{1, 2, 3}},
       {1},
       {3, 0, 0, 1, 0, 0.0, 0, 5, 4, 1, 0, 3},
       {0}},
      {"no triangle", {{0, 0, 0}, {1, 0, 0}}, {}, {}, {0, 0, 0, 0, 0, 0.0, 0, 0, 2, 0, 0, 1}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const RunTables run = MakeRun(c.nodes, c.triangles, c.displacement);
    const SurfaceFindings f = CheckSurface(run);
    EXPECT_EQ(f.nodes, static_cast<std::int64_t>(c.nodes.size()));
    EXPECT_EQ(f.triangles, static_cast<std::int64_t>(c.triangles.size()));
    EXPECT_EQ(f.open_edges, c.want.open);
    EXPECT_EQ(f.non_manifold_edges, c.want.non_manifold);
    EXPECT_EQ(f.orientation_conflicts, c.want.conflicts);
    EXPECT_EQ(f.shells, c.want.shells);
    EXPECT_EQ(f.closed_shells, c.want.closed);
    EXPECT_NEAR(f.enclosed_volume, c.want.volume, 1e-15);
    EXPECT_EQ(f.degenerate_triangles, c.want.degenerate);
    EXPECT_EQ(f.coincident_nodes, c.want.coincident);
    EXPECT_EQ(f.unused_nodes, c.want.unused);
    EXPECT_EQ(f.displacement_triangles, c.want.displacement);
    EXPECT_EQ(f.traction_triangles, c.want.traction);
    EXPECT_EQ(f.problems, c.want.problems);
    EXPECT_EQ(f.triangle_flags, c.flags);
    EXPECT_EQ(CheckStatus(f), c.want.problems == 0 ? 0 : 3);
  }
}

TEST(SurfaceCheck, InstancesNameEdgesTrianglesAndNodes) {
  RunTables run = MakeRun(Concat(kTetra, {{0, 0, 0}, {5, 5, 5}}),
                          {{1, 3, 2}, {1, 2, 4}, {1, 4, 3}, {2, 4, 3}}, {1});
  run.ElementLoaded(2, 1) = 1;
  run.ElementLoaded(4, 1) = 1;
  const SurfaceFindings f = CheckSurface(run);
  EXPECT_EQ(f.loaded_elements, 2);
  ASSERT_EQ(f.orientation_conflict_list.size(), 3u);  // in node order: 2-3, 2-4, 3-4
  const std::int32_t want_edges[3][2] = {{2, 3}, {2, 4}, {3, 4}};
  const std::vector<std::int32_t> want_triangles[3] = {{1, 4}, {2, 4}, {3, 4}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const EdgeInstance& edge = f.orientation_conflict_list[static_cast<std::size_t>(i)];
    EXPECT_EQ(edge.nodes[0], want_edges[i][0]);
    EXPECT_EQ(edge.nodes[1], want_edges[i][1]);
    EXPECT_EQ(edge.triangles, want_triangles[i]);
  }
  ASSERT_EQ(f.coincident_group_list.size(), 1u);
  EXPECT_EQ(f.coincident_group_list[0].nodes, (std::vector<std::int32_t>{1, 5}));
  EXPECT_EQ(f.unused_node_list, (std::vector<std::int32_t>{5, 6}));
  ASSERT_EQ(f.shell_list.size(), 1u);
  EXPECT_EQ(f.shell_list[0].first_triangle, 1);
  EXPECT_EQ(f.shell_list[0].triangle_count, 4);
  EXPECT_TRUE(f.shell_list[0].closed);
}

TEST(SurfaceCheck, QuadrilateralTrianglesNameTheirElementAndListsStopAtTheLimit) {
  // A strip of twelve separate triangles: 36 open edges, 12 shells.
  std::vector<Point> nodes;
  std::vector<Corners> triangles;
  for (std::int32_t i = 0; i < 12; ++i) {
    nodes.insert(nodes.end(), {{10.0 * i, 0, 0}, {10.0 * i + 1, 0, 0}, {10.0 * i, 1, 0}});
    triangles.push_back({3 * i + 1, 3 * i + 2, 3 * i + 3});
  }
  RunTables run = MakeRun(nodes, triangles, {1});
  // Elements 1 and 2 became triangles 3 and 4 and triangles 1 and 2.
  run.ElementTriangles(1, 1) = 3;
  run.ElementTriangles(1, 2) = 4;
  run.ElementTriangles(2, 1) = 1;
  run.ElementTriangles(2, 2) = 2;
  run.ElementTriangles(3, 1) = 0;  // no record carried elements 3 and 4
  run.ElementTriangles(3, 2) = 0;
  run.ElementTriangles(4, 1) = 0;
  run.ElementTriangles(4, 2) = 0;
  run.ElementTriangles(5, 1) = 0;  // nor element 5, which triangle 5 came from
  run.ElementTriangles(5, 2) = 0;
  const SurfaceFindings f = CheckSurface(run);
  EXPECT_EQ(
      (std::vector<std::int32_t>(f.triangle_elements.begin(), f.triangle_elements.begin() + 5)),
      (std::vector<std::int32_t>{2, 2, 1, 1, 0}));
  EXPECT_EQ(f.open_edges, 36);
  EXPECT_EQ(f.shells, 12);
  EXPECT_EQ(f.open_edge_list.size(), kInstanceLimit);
  EXPECT_EQ(f.shell_list.size(), kInstanceLimit);
  EXPECT_EQ(f.open_edge_list[0].nodes[0], 1);
  EXPECT_EQ(f.open_edge_list[0].nodes[1], 2);
  EXPECT_EQ(f.open_edge_list[0].triangles, (std::vector<std::int32_t>{1}));
  const std::string report = CheckReportText(f);
  EXPECT_NE(report.find("\nopen edges (first 10 of 36):\n  edge 1-2: triangle 1 (element 2)\n"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find("  from triangle 3 (element 1): 1 triangle, open\n"), std::string::npos)
      << report;
  EXPECT_NE(report.find("  from triangle 5: 1 triangle, open\n"), std::string::npos) << report;
}

// A triangle is loaded when a direction of traction kind has a value that
// is not zero; a displacement's value does not count.
TEST(SurfaceCheck, LoadedTrianglesCarryATractionThatIsNotZero) {
  struct Direction {
    int kind;
    double value;
  };
  struct LoadCase {
    const char* name;
    std::array<Direction, 3> directions;  // of triangle 1; the others stay traction-free
    std::int64_t loaded;
  };
  const LoadCase cases[] = {
      {"traction-free", {{{2, 0.0}, {2, 0.0}, {2, 0.0}}}, 0},
      {"minus zero is zero", {{{2, -0.0}, {2, 0.0}, {2, -0.0}}}, 0},
      {"one direction", {{{2, 0.0}, {2, 0.0}, {2, -1.5e-300}}}, 1},
      {"every direction", {{{2, 1.0}, {2, -2.0}, {2, 3.0}}}, 1},
      {"a displacement that is not zero", {{{1, 0.5}, {1, 0.5}, {1, 0.5}}}, 0},
      {"a displacement beside a traction", {{{1, 0.5}, {2, 0.0}, {2, 7.0}}}, 1},
      {"not a number", {{{2, kNaN}, {2, 0.0}, {2, 0.0}}}, 1},
  };
  for (const LoadCase& c : cases) {
    SCOPED_TRACE(c.name);
    RunTables run = MakeRun(kTetra, kTetraOut, {2});
    for (int d = 1; d <= 3; ++d) {
      run.TriangleBcKinds(d, 1) = c.directions[static_cast<std::size_t>(d - 1)].kind;
      run.TriangleBcValues(d, 1) = c.directions[static_cast<std::size_t>(d - 1)].value;
    }
    const SurfaceFindings f = CheckSurface(run);
    EXPECT_EQ(f.loaded_triangles, c.loaded);
    EXPECT_NE(
        CheckReportText(f).find("\ntraction triangles: " + std::to_string(f.traction_triangles) +
                                "\nloaded triangles: " + std::to_string(c.loaded) + "\n"),
        std::string::npos);
  }
}

TEST(SurfaceCheck, LargeCoordinatesKeepTheVolume) {
  // A unit tetrahedron a million units away: its volume stays 1/6 to the last digits.
  const RunTables run = MakeRun(Shifted(kTetra, 1.0e6), kTetraOut, {1});
  EXPECT_DOUBLE_EQ(CheckSurface(run).enclosed_volume, 1.0 / 6);
}

TEST(CheckReport, FiguresAreLabelledLines) {
  const RunTables run = MakeRun(kTetra, kTetraOut);
  const std::string report = CheckReportText(CheckSurface(run));
  EXPECT_EQ(report.substr(0, report.find("\n\n") + 1),
            "nodes: 4\n"
            "elements: 4\n"
            "triangles: 4\n"
            "field points: 0\n"
            "field cells: 0\n"
            "element types: 0\n"
            "displacement triangles: 0\n"
            "traction triangles: 4\n"
            "loaded triangles: 0\n"
            "loaded elements: 0\n"
            "pressure records: 0\n"
            "pressures applied: 0\n"
            "open edges: 0\n"
            "non-manifold edges: 0\n"
            "orientation conflicts: 0\n"
            "shells: 1\n"
            "closed shells: 1\n"
            "enclosed volume: 1.66666666667e-01\n"
            "degenerate triangles: 0\n"
            "coincident nodes: 0\n"
            "unused nodes: 0\n"
            "problems: 1\n");
  EXPECT_NE(report.find("\nproblems (1):\n  no triangle has a displacement condition"),
            std::string::npos)
      << report;
}

TEST(CheckReport, VolumesKeepTwelveDigitsWhateverTheirSize) {
  const struct {
    double volume;
    const char* text;
  } cases[] = {
      {0.0, "enclosed volume: 0.00000000000e+00\n"},
      {-0.0, "enclosed volume: 0.00000000000e+00\n"},
      {-1.0 / 6, "enclosed volume: -1.66666666667e-01\n"},
      {123456789012345.0, "enclosed volume: 1.23456789012e+14\n"},
      {2.0 / 3 * 1e-20, "enclosed volume: 6.66666666667e-21\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    SurfaceFindings f;
    f.enclosed_volume = c.volume;
    EXPECT_NE(CheckReportText(f).find(c.text), std::string::npos);
  }
}

}  // namespace
