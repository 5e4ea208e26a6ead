#include "check/surface_check.h"

#include <algorithm>
#include <cmath>

namespace {

// One use of an edge by a triangle. Uses are sorted by the edge's key
// (smaller node, larger node): a counting sort on the smaller node gathers
// the uses of each node, then each node's few uses are sorted on the larger.
// The smaller node is then implied by the position, so a use keeps only the
// larger node, and the triangle with the direction in its lowest bit (1 when
// the triangle runs from the smaller node to the larger).
struct EdgeUse {
  std::int32_t larger;
  std::uint32_t triangle_direction;
};

bool operator<(const EdgeUse& a, const EdgeUse& b) {
  return a.larger != b.larger ? a.larger < b.larger : a.triangle_direction < b.triangle_direction;
}

std::int32_t UseTriangle(const EdgeUse& use) {
  return static_cast<std::int32_t>(use.triangle_direction >> 1);
}
bool UseForward(const EdgeUse& use) { return (use.triangle_direction & 1u) != 0; }

// Calls `visit(smaller, larger, triangle, forward)` for the three edges of
// each triangle. An "edge" from a node to itself joins nothing and is left out.
template <class Visit>
void ForEachEdge(const RunTables& run, Visit visit) {
  for (std::int32_t t = 1; t <= run.TriangleCount; ++t) {
    const std::int32_t* c = run.TriangleNodes.Column(t);
    for (int k = 0; k < 3; ++k) {
      const std::int32_t from = c[k];
      const std::int32_t to = c[(k + 1) % 3];
      if (from == to) continue;
      visit(std::min(from, to), std::max(from, to), t, from < to);
    }
  }
}

// The uses of all edges, grouped by smaller node; `first[n]` is the index of
// node n's first use, `first[n + 1]` one past its last.
struct SortedEdges {
  std::vector<std::size_t> first;
  std::vector<EdgeUse> uses;
};

SortedEdges SortEdges(const RunTables& run) {
  const std::size_t nodes = static_cast<std::size_t>(std::max(run.NodeCount, 0));
  SortedEdges edges;
  edges.first.assign(nodes + 2, 0);
  ForEachEdge(run, [&](std::int32_t smaller, std::int32_t, std::int32_t, bool) {
    assert(smaller >= 1 && static_cast<std::size_t>(smaller) <= nodes &&
           "corner is a boundary node");
    ++edges.first[static_cast<std::size_t>(smaller) + 1];
  });
  for (std::size_t n = 1; n < edges.first.size(); ++n) edges.first[n] += edges.first[n - 1];
  edges.uses.resize(edges.first.back());
  std::vector<std::size_t> next(edges.first.begin(), edges.first.end() - 1);
  ForEachEdge(run, [&](std::int32_t smaller, std::int32_t larger, std::int32_t t, bool forward) {
    const std::uint32_t tagged = (static_cast<std::uint32_t>(t) << 1) | (forward ? 1u : 0u);
    edges.uses[next[static_cast<std::size_t>(smaller)]++] = EdgeUse{larger, tagged};
  });
  for (std::size_t n = 1; n <= nodes; ++n) {
    EdgeUse* begin = edges.uses.data() + edges.first[n];
    EdgeUse* end = edges.uses.data() + edges.first[n + 1];
    if (end - begin < 2) continue;
    if (end - begin > 16) {
      std::sort(begin, end);
      continue;
    }
    for (EdgeUse* p = begin + 1; p < end; ++p) {  // insertion sort: a node has few edges
      const EdgeUse use = *p;
      EdgeUse* q = p;
      for (; q > begin && use < q[-1]; --q) *q = q[-1];
      *q = use;
    }
  }
  return edges;
}

// Union-find over triangles (index t - 1); a set's root is its smallest
// triangle, so shells come out in the order of their first triangle.
std::int32_t FindRoot(std::vector<std::int32_t>& parent, std::int32_t t) {
  while (parent[static_cast<std::size_t>(t)] != t) {
    const std::int32_t up = parent[static_cast<std::size_t>(t)];
    parent[static_cast<std::size_t>(t)] = parent[static_cast<std::size_t>(up)];
    t = parent[static_cast<std::size_t>(t)];
  }
  return t;
}

void Unite(std::vector<std::int32_t>& parent, std::int32_t a, std::int32_t b) {
  a = FindRoot(parent, a);
  b = FindRoot(parent, b);
  if (a < b) parent[static_cast<std::size_t>(b)] = a;
  if (b < a) parent[static_cast<std::size_t>(a)] = b;
}

// Sums that keep the low-order bits each addition drops.
struct CompensatedSum {
  double sum = 0.0;
  double lost = 0.0;
  void Add(double x) {
    const double t = sum + x;
    lost += std::fabs(sum) >= std::fabs(x) ? (sum - t) + x : (x - t) + sum;
    sum = t;
  }
  double value() const { return sum + lost; }
};

EdgeInstance MakeEdge(std::int32_t smaller, const EdgeUse* begin, const EdgeUse* end) {
  EdgeInstance edge{{smaller, begin->larger}, {}};
  for (const EdgeUse* u = begin; u < end; ++u) edge.triangles.push_back(UseTriangle(*u));
  return edge;
}

void Keep(auto& list, auto&& item) {
  if (list.size() < kInstanceLimit) list.push_back(std::move(item));
}

// Open, non-manifold and conflicting edges, one sweep over the runs of equal
// keys; joins the triangles of every shared edge and marks the triangles of
// edges that keep their shell from being closed.
void SweepEdges(const RunTables& run, SurfaceFindings& f, std::vector<std::int32_t>& parent,
                std::vector<std::uint8_t>& opens_shell) {
  const SortedEdges edges = SortEdges(run);
  const std::size_t nodes = edges.first.size() - 2;
  for (std::size_t n = 1; n <= nodes; ++n) {
    const EdgeUse* const end = edges.uses.data() + edges.first[n + 1];
    for (const EdgeUse* run_begin = edges.uses.data() + edges.first[n]; run_begin < end;) {
      const EdgeUse* run_end = run_begin + 1;
      while (run_end < end && run_end->larger == run_begin->larger) ++run_end;
      const std::ptrdiff_t count = run_end - run_begin;
      const std::int32_t smaller = static_cast<std::int32_t>(n);
      if (count == 1) {
        ++f.open_edges;
        Keep(f.open_edge_list, MakeEdge(smaller, run_begin, run_end));
      } else if (count > 2) {
        ++f.non_manifold_edges;
        Keep(f.non_manifold_edge_list, MakeEdge(smaller, run_begin, run_end));
      } else if (UseForward(run_begin[0]) == UseForward(run_begin[1])) {
        ++f.orientation_conflicts;
        Keep(f.orientation_conflict_list, MakeEdge(smaller, run_begin, run_end));
        for (const EdgeUse* u = run_begin; u < run_end; ++u) {
          f.triangle_flags[static_cast<std::size_t>(UseTriangle(*u) - 1)] |=
              kOrientationConflictFlag;
        }
      }
      for (const EdgeUse* u = run_begin; u < run_end; ++u) {
        if (count != 2) opens_shell[static_cast<std::size_t>(UseTriangle(*u) - 1)] = 1;
        if (u != run_begin) Unite(parent, UseTriangle(*run_begin) - 1, UseTriangle(*u) - 1);
      }
      run_begin = run_end;
    }
  }
}

// Shells, closed shells and the volume they enclose: the sum of A·(B×C)/6
// over their triangles. The corners of a consistently oriented closed shell
// are taken relative to one corner of its first triangle, which leaves its
// volume unchanged and keeps large coordinates from swamping it. A shell
// with an orientation conflict encloses no well-defined volume: its sum is
// taken about the origin, as written.
void MeasureShells(const RunTables& run, SurfaceFindings& f, std::vector<std::int32_t>& parent,
                   const std::vector<std::uint8_t>& opens_shell) {
  const std::size_t triangles = parent.size();
  std::vector<std::uint8_t> open(triangles, 0);
  std::vector<std::uint8_t> conflicting(triangles, 0);
  std::vector<std::int64_t> sizes(triangles, 0);
  for (std::size_t i = 0; i < triangles; ++i) {
    const std::size_t root =
        static_cast<std::size_t>(FindRoot(parent, static_cast<std::int32_t>(i)));
    parent[i] = static_cast<std::int32_t>(root);
    ++sizes[root];
    if (opens_shell[i]) open[root] = 1;
    if (f.triangle_flags[i] & kOrientationConflictFlag) conflicting[root] = 1;
  }
  static constexpr double kOrigin[3] = {0.0, 0.0, 0.0};
  std::vector<CompensatedSum> volumes(triangles);
  for (std::size_t i = 0; i < triangles; ++i) {
    const std::size_t root = static_cast<std::size_t>(parent[i]);
    if (open[root]) continue;
    const double* o =
        conflicting[root]
            ? kOrigin
            : run.NodeCoords.Column(run.TriangleNodes(1, static_cast<std::int64_t>(root) + 1));
    const std::int32_t* c = run.TriangleNodes.Column(static_cast<std::int64_t>(i) + 1);
    const double* pa = run.NodeCoords.Column(c[0]);
    const double* pb = run.NodeCoords.Column(c[1]);
    const double* pc = run.NodeCoords.Column(c[2]);
    const double a[3] = {pa[0] - o[0], pa[1] - o[1], pa[2] - o[2]};
    const double b[3] = {pb[0] - o[0], pb[1] - o[1], pb[2] - o[2]};
    const double d[3] = {pc[0] - o[0], pc[1] - o[1], pc[2] - o[2]};
    volumes[root].Add(a[0] * (b[1] * d[2] - b[2] * d[1]) + a[1] * (b[2] * d[0] - b[0] * d[2]) +
                      a[2] * (b[0] * d[1] - b[1] * d[0]));
  }
  CompensatedSum total;
  for (std::size_t i = 0; i < triangles; ++i) {
    if (parent[i] != static_cast<std::int32_t>(i)) continue;
    ++f.shells;
    const bool closed = open[i] == 0;
    const double volume = closed ? volumes[i].value() / 6.0 : 0.0;
    if (closed) {
      ++f.closed_shells;
      total.Add(volume);
    }
    Keep(f.shell_list, ShellInstance{static_cast<std::int32_t>(i + 1), sizes[i], closed, volume});
  }
  f.enclosed_volume = total.value();
}

bool IsDegenerate(const RunTables& run, const std::int32_t* c) {
  const double* a = run.NodeCoords.Column(c[0]);
  const double* b = run.NodeCoords.Column(c[1]);
  const double* d = run.NodeCoords.Column(c[2]);
  for (int k = 0; k < 3; ++k) {
    if (!std::isfinite(a[k]) || !std::isfinite(b[k]) || !std::isfinite(d[k])) return true;
  }
  const double ab[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
  const double ad[3] = {d[0] - a[0], d[1] - a[1], d[2] - a[2]};
  return ab[1] * ad[2] - ab[2] * ad[1] == 0.0 && ab[2] * ad[0] - ab[0] * ad[2] == 0.0 &&
         ab[0] * ad[1] - ab[1] * ad[0] == 0.0;
}

// Conditions, degenerate triangles, and which nodes the triangles use.
void CheckTriangles(const RunTables& run, SurfaceFindings& f, std::vector<std::uint8_t>& used) {
  for (std::int32_t t = 1; t <= run.TriangleCount; ++t) {
    bool displacement = false;
    bool traction = false;
    bool loaded = false;
    for (int d = 1; d <= 3; ++d) {
      displacement |= run.TriangleBcKinds(d, t) == kDisplacementPrescribed;
      const bool of_traction = run.TriangleBcKinds(d, t) == kTractionPrescribed;
      traction |= of_traction;
      loaded |= of_traction && run.TriangleBcValues(d, t) != 0.0;
    }
    f.displacement_triangles += displacement;
    f.traction_triangles += traction;
    f.loaded_triangles += loaded;
    const std::int32_t* c = run.TriangleNodes.Column(t);
    for (int k = 0; k < 3; ++k) used[static_cast<std::size_t>(c[k])] = 1;
    if (IsDegenerate(run, c)) {
      ++f.degenerate_triangles;
      f.triangle_flags[static_cast<std::size_t>(t - 1)] |= kDegenerateTriangleFlag;
      Keep(f.degenerate_triangle_list, TriangleInstance{t, {c[0], c[1], c[2]}});
    }
  }
}

struct NodePoint {
  double x, y, z;
  std::int32_t node;
};

bool SamePlace(const NodePoint& a, const NodePoint& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Boundary nodes with exactly the same coordinates: sorted by place, equal
// places are neighbours. A coordinate that is not a number equals nothing.
void FindCoincidentNodes(const RunTables& run, SurfaceFindings& f) {
  std::vector<NodePoint> points;
  points.reserve(static_cast<std::size_t>(f.nodes));
  for (std::int32_t n = 1; n <= run.NodeCount; ++n) {
    const double* p = run.NodeCoords.Column(n);
    if (std::isnan(p[0]) || std::isnan(p[1]) || std::isnan(p[2])) continue;
    points.push_back(NodePoint{p[0] + 0.0, p[1] + 0.0, p[2] + 0.0, n});  // -0.0 becomes 0.0
  }
  std::sort(points.begin(), points.end(), [](const NodePoint& a, const NodePoint& b) {
    if (a.x != b.x) return a.x < b.x;
    if (a.y != b.y) return a.y < b.y;
    if (a.z != b.z) return a.z < b.z;
    return a.node < b.node;
  });
  std::vector<CoincidentGroup> groups;
  for (std::size_t i = 0; i < points.size();) {
    std::size_t j = i + 1;
    while (j < points.size() && SamePlace(points[i], points[j])) ++j;
    if (j - i >= 2) {
      f.coincident_nodes += static_cast<std::int64_t>(j - i);
      ++f.coincident_groups;
      CoincidentGroup group{{}, points[i].x, points[i].y, points[i].z};
      for (std::size_t k = i; k < j && group.nodes.size() < kInstanceLimit; ++k) {
        group.nodes.push_back(points[k].node);
      }
      groups.push_back(std::move(group));
    }
    i = j;
  }
  // The groups of the lowest node numbers come first.
  const std::size_t kept = std::min(groups.size(), kInstanceLimit);
  std::partial_sort(groups.begin(), groups.begin() + static_cast<std::ptrdiff_t>(kept),
                    groups.end(), [](const CoincidentGroup& a, const CoincidentGroup& b) {
                      return a.nodes.front() < b.nodes.front();
                    });
  groups.resize(kept);
  f.coincident_group_list = std::move(groups);
}

// The element records by ANSYS element; types naming the same element are
// counted together.
void CountElementTypes(const RunTables& run, SurfaceFindings& f) {
  const std::vector<LocalElementType>& types = run.Types.types();
  for (std::size_t k = 0; k < types.size() && k < run.ElementsOfType.size(); ++k) {
    const std::int64_t count = run.ElementsOfType[k];
    if (count == 0) continue;
    ++f.element_types;
    const std::string name =
        types[k].name.empty() ? "type " + std::to_string(types[k].itype) : types[k].name;
    auto use = std::find_if(f.element_uses.begin(), f.element_uses.end(), [&](const ElementUse& u) {
      return u.name == name && u.element_class == types[k].element_class;
    });
    if (use == f.element_uses.end()) {
      f.element_uses.push_back({name, types[k].element_class, count});
    } else {
      use->elements += count;
    }
  }
  f.elements_of_undefined_type = run.ElementsOfUndefinedType;
}

}  // namespace

SurfaceFindings CheckSurface(const RunTables& run) {
  SurfaceFindings f;
  f.nodes = std::max(run.NodeCount, 0);
  f.elements = std::max(run.ElementCount, 0);
  f.triangles = run.TriangleCount;
  f.field_points = std::max(run.FieldPointCount, 0);
  f.field_cells = std::max(run.FieldCellCount, 0);
  const std::size_t triangles = static_cast<std::size_t>(run.TriangleCount);
  f.triangle_flags.assign(triangles, 0);

  f.triangle_elements.assign(triangles, 0);
  for (std::int32_t e = 1; e <= run.ElementCount; ++e) {
    for (int k = 1; k <= 2; ++k) {
      const std::int32_t t = run.ElementTriangles(e, k);
      if (t >= 1 && t <= run.TriangleCount)
        f.triangle_elements[static_cast<std::size_t>(t - 1)] = e;
    }
    if (run.ElementLoaded.size() != 0) f.loaded_elements += run.ElementLoaded(e, 1) != 0;
  }

  std::vector<std::uint8_t> used(static_cast<std::size_t>(f.nodes) + 1, 0);
  CheckTriangles(run, f, used);
  for (std::int32_t n = 1; n <= run.NodeCount; ++n) {
    if (used[static_cast<std::size_t>(n)]) continue;
    ++f.unused_nodes;
    Keep(f.unused_node_list, n);
  }

  std::vector<std::int32_t> parent(triangles);
  for (std::size_t i = 0; i < triangles; ++i) parent[i] = static_cast<std::int32_t>(i);
  std::vector<std::uint8_t> opens_shell(triangles, 0);
  SweepEdges(run, f, parent, opens_shell);
  MeasureShells(run, f, parent, opens_shell);
  FindCoincidentNodes(run, f);
  CountElementTypes(run, f);
  f.pressures = run.Pressures;

  f.volume_not_positive = f.closed_shells > 0 && !(f.enclosed_volume > 0.0);
  f.no_displacement = f.displacement_triangles == 0;
  // A boundary-element model of a solid needs a closed surface: every edge
  // shared by exactly two triangles.
  f.problems = f.open_edges + f.non_manifold_edges + f.orientation_conflicts +
               f.degenerate_triangles + (f.volume_not_positive ? 1 : 0) +
               (f.no_displacement ? 1 : 0);
  return f;
}
