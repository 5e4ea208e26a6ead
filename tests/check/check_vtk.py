#!/usr/bin/python3
"""Checks the figures of `cdb2bem --check` against VTK on generated models.

Usage: check_vtk.py CDB2BEM_BINARY [MODEL_FILE ...]

Writes small models (a closed cube and a closed sphere of quadrilaterals and
triangles; the sphere with a hole, with one reversed triangle, with all
triangles reversed, with a zero-area element, with a duplicated node and
without constraints, with a fin on one of its edges), runs `cdb2bem --check` and the plain translation on
each in a scratch directory, and compares every figure of the report with
what VTK computes from the translated mesh (the nodes and triangles of
input.dat): vtkFeatureEdges for open and non-manifold edges,
vtkPolyDataNormals' consistent reordering for orientation conflicts and its
automatic orientation for inward shells, vtkPolyDataConnectivityFilter for
shells, vtkMassProperties and the divergence sum for the volume,
vtkTriangle.TriangleArea for degenerate triangles, vtkStaticPointLocator
for coincident nodes, vtkCleanPolyData for unused nodes. The conditions are
counted from input.dat's kinds, the loaded elements from the generator.
Model files named after the program (real samples) are checked the same way,
all figures but the loaded elements, which only the generator knows.
Exits with status 0 when every figure agrees, 1 otherwise.
"""

import math
import pathlib
import subprocess
import sys
import tempfile

# VTK's classes from the modules that hold them: "import vtk" loads every
# module of VTK, a fifth of a second of each run of the suite.
from vtkmodules.vtkCommonCore import vtkIdList, vtkPoints
from vtkmodules.vtkCommonDataModel import (vtkCellArray, vtkPolyData, vtkStaticPointLocator,
                                           vtkTriangle)
from vtkmodules.vtkFiltersCore import (vtkCleanPolyData, vtkFeatureEdges, vtkMassProperties,
                                       vtkPolyDataConnectivityFilter, vtkPolyDataNormals)

FAILURES = []


def check(case, what, got, want):
    if got != want:
        FAILURES.append("%s: %s is %r, VTK says %r" % (case, what, got, want))


# ---------------------------------------------------------------- models


def outward(nodes, element, center):
    """The element's corners ordered so that its normal points away from center."""
    a, b, c = (nodes[n - 1] for n in element[:3])
    ab = [b[k] - a[k] for k in range(3)]
    ac = [c[k] - a[k] for k in range(3)]
    n = [ab[1] * ac[2] - ab[2] * ac[1], ab[2] * ac[0] - ab[0] * ac[2], ab[0] * ac[1] - ab[1] * ac[0]]
    mid = [sum(nodes[i - 1][k] for i in element) / len(element) - center[k] for k in range(3)]
    return element if sum(n[k] * mid[k] for k in range(3)) > 0 else element[::-1]


def sphere(n_lat=8, n_lon=12, radius=2.0, center=(0.5, -0.25, 1.0)):
    """A UV sphere: triangle fans at the poles, quadrilaterals between."""
    nodes = [(center[0], center[1], center[2] + radius)]
    for i in range(1, n_lat):
        theta = math.pi * i / n_lat
        for j in range(n_lon):
            phi = 2 * math.pi * j / n_lon
            nodes.append((center[0] + radius * math.sin(theta) * math.cos(phi),
                          center[1] + radius * math.sin(theta) * math.sin(phi),
                          center[2] + radius * math.cos(theta)))
    nodes.append((center[0], center[1], center[2] - radius))
    south = len(nodes)

    def ring(i, j):
        return 2 + (i - 1) * n_lon + j % n_lon

    elements = [[1, ring(1, j), ring(1, j + 1)] for j in range(n_lon)]
    for i in range(1, n_lat - 1):
        elements += [[ring(i, j), ring(i + 1, j), ring(i + 1, j + 1), ring(i, j + 1)] for j in range(n_lon)]
    elements += [[south, ring(n_lat - 1, j + 1), ring(n_lat - 1, j)] for j in range(n_lon)]
    elements = [outward(nodes, e, center) for e in elements]
    # Fixed at the south pole's fan, pressed on the north pole's.
    fixed = [south] + [ring(n_lat - 1, j) for j in range(n_lon)]
    loaded = list(range(1, n_lon + 1))
    return {"nodes": nodes, "elements": elements, "fixed": fixed, "loaded": loaded}


def cube(n=3, size=3.0, origin=(-1.0, 2.0, 0.5)):
    """A closed cube of n x n quadrilaterals per face; the top face's are
    split into pairs of triangles."""
    index = {}
    nodes = []

    def node(i, j, k):
        if (i, j, k) not in index:
            nodes.append(tuple(origin[a] + size * v / n for a, v in enumerate((i, j, k))))
            index[(i, j, k)] = len(nodes)
        return index[(i, j, k)]

    elements, top = [], []
    for axis in range(3):
        for side in (0, n):
            for u in range(n):
                for v in range(n):
                    def at(du, dv):
                        p = [0, 0, 0]
                        p[axis] = side
                        p[(axis + 1) % 3] = u + du
                        p[(axis + 2) % 3] = v + dv
                        return node(*p)
                    quad = [at(0, 0), at(1, 0), at(1, 1), at(0, 1)]
                    if axis == 2 and side == n:
                        elements += [quad[:3], [quad[0], quad[2], quad[3]]]
                        top += [len(elements) - 1, len(elements)]
                    else:
                        elements.append(quad)
    center = tuple(origin[a] + size / 2 for a in range(3))
    elements = [outward(nodes, e, center) for e in elements]
    fixed = [index[key] for key in index if key[2] == 0]
    return {"nodes": nodes, "elements": elements, "fixed": fixed, "loaded": top}


def write_cdb(path, model):
    nodes, elements = model["nodes"], model["elements"]
    lines = ["/COM,generated test model", "/PREP7",
             "*IF,_CDRDOFF,EQ,1,THEN     !if solid model was read in",
             "_CDRDOFF=             !reset flag, numoffs already performed",
             "*ELSE              !offset database for the following FE model",
             "NUMOFF,NODE,%9d" % len(nodes), "NUMOFF,ELEM,%9d" % len(elements), "*ENDIF",
             "NBLOCK,6,SOLID,%10d,%10d" % (len(nodes), len(nodes)), "(3i9,6e21.13e3)"]
    lines += ["%9d%9d%9d%21.13E%21.13E%21.13E" % ((i + 1, 0, 0) + tuple(p)) for i, p in enumerate(nodes)]
    lines += ["N,R5.3,LOC,       -1,", "EBLOCK,19,SOLID,%10d,%10d" % (len(elements), len(elements)), "(19i9)"]
    for e, corners in enumerate(elements):
        four = list(corners) + [corners[2]] * (4 - len(corners))
        lines.append("".join("%9d" % v for v in [1, 1, 1, 1, 0, 0, 0, 0, 4, 0, e + 1] + four))
    lines.append("       -1")
    for n in model["fixed"]:
        for label in ("UX", "UY", "UZ"):
            lines.append("D,%7d,%-4s, 0.000000000E+00, 0.000000000E+00" % (n, label))
    for e in model["loaded"]:
        lines += ["SFE,%9d,   1,PRES, 0,R5.0" % e, "  1.50000000      1.50000000      1.50000000      1.50000000",
                  "  0.00000000      0.00000000      0.00000000      0.00000000",
                  "  0.00000000      0.00000000      0.00000000      0.00000000"]
    lines.append("FINISH")
    path.write_text("\n".join(lines) + "\n")


def variants():
    yield "cube", cube()
    yield "sphere", sphere()
    m = sphere()
    m["elements"] = m["elements"][:30] + m["elements"][33:]  # three quads out: a hole
    yield "sphere_hole", m
    m = sphere()
    m["elements"][3] = m["elements"][3][::-1]  # a triangle of the north fan
    yield "sphere_one_reversed", m
    m = sphere()
    m["elements"] = [e[::-1] for e in m["elements"]]
    yield "sphere_all_reversed", m
    m = sphere()
    m["nodes"] += [(5.0, 0.0, 0.0), (6.0, 0.0, 0.0), (7.0, 0.0, 0.0)]
    n = len(m["nodes"])
    m["elements"].append([n - 2, n - 1, n])  # collinear corners: zero area
    yield "sphere_zero_area", m
    m = sphere()
    m["nodes"].append(m["nodes"][20])  # node 21 twice; element 20 uses the copy
    m["elements"][19] = [len(m["nodes"]) if v == 21 else v for v in m["elements"][19]]
    assert len(m["nodes"]) in m["elements"][19]
    m["nodes"].append((9.0, 9.0, 9.0))  # and a node no element uses
    yield "sphere_duplicate_node", m
    m = sphere()
    m["nodes"].append((0.5, -0.25, 4.0))  # a fin on an edge of the north fan
    a, b = m["elements"][0][:2]
    m["elements"].append([a, b, len(m["nodes"])])
    yield "sphere_fin", m
    m = sphere()
    m["fixed"] = []
    yield "sphere_no_constraint", m


# ---------------------------------------------------------------- VTK side


def read_input_dat(path):
    """Nodes, triangles (0-based) and per-triangle kinds of input.dat."""
    records = path.read_bytes().decode().split("\r\n")
    triangles_count, node_count = (int(v) for v in records[2].split()[:2])
    start = records.index(" $ Nodes:") + 1
    points = [tuple(float(v.replace("D", "E")) for v in r.split()[1:4])
              for r in records[start:start + node_count]]
    start = records.index(" $ Elements and Boundary Conditions:") + 1
    triangles, kinds = [], []
    for r in records[start:start + triangles_count]:
        v = r.split()
        triangles.append(tuple(int(x) - 1 for x in v[1:4]))
        kinds.append(tuple(int(x) for x in v[4:7]))
    return points, triangles, kinds


def polydata(points, triangles):
    pts = vtkPoints()
    pts.SetDataTypeToDouble()
    for p in points:
        pts.InsertNextPoint(p)
    cells = vtkCellArray()
    for t in triangles:
        cells.InsertNextCell(3, t)
    poly = vtkPolyData()
    poly.SetPoints(pts)
    poly.SetPolys(cells)
    return poly


def feature_edges(poly, boundary, non_manifold):
    f = vtkFeatureEdges()
    f.SetInputData(poly)
    f.SetBoundaryEdges(boundary)
    f.SetNonManifoldEdges(non_manifold)
    f.FeatureEdgesOff()
    f.ManifoldEdgesOff()
    f.Update()
    return f.GetOutput().GetNumberOfLines()


def cell_orders(poly):
    ids = vtkIdList()
    orders = []
    for c in range(poly.GetNumberOfCells()):
        poly.GetCellPoints(c, ids)
        orders.append([ids.GetId(k) for k in range(ids.GetNumberOfIds())])
    return orders


def flipped_by_normals(poly, auto_orient):
    """Which triangles vtkPolyDataNormals reverses to orient them consistently
    (and outward, with auto_orient)."""
    n = vtkPolyDataNormals()
    n.SetInputData(poly)
    n.ConsistencyOn()
    n.SplittingOff()
    n.SetAutoOrientNormals(auto_orient)
    n.Update()
    before, after = cell_orders(poly), cell_orders(n.GetOutput())
    assert len(before) == len(after)
    result = []
    for b, a in zip(before, after):
        rotations = [b[k:] + b[:k] for k in range(3)]
        result.append(a not in rotations)
    return result


def orientation_conflicts(poly):
    """Edges of two triangles whose reordering by VTK differs: exactly one of
    the two had to be reversed, so both ran the same way along the edge."""
    flipped = flipped_by_normals(poly, False)
    poly.BuildLinks()
    conflicts = set()
    neighbours = vtkIdList()
    for c, (a, b, d) in enumerate(cell_orders(poly)):
        for p, q in ((a, b), (b, d), (d, a)):
            poly.GetCellEdgeNeighbors(c, p, q, neighbours)
            if neighbours.GetNumberOfIds() == 1 and flipped[c] != flipped[neighbours.GetId(0)]:
                conflicts.add((min(p, q), max(p, q)))
    return len(conflicts)


def divergence_volume(poly):
    total = 0.0
    pts = poly.GetPoints()
    for a, b, c in cell_orders(poly):
        pa, pb, pc = pts.GetPoint(a), pts.GetPoint(b), pts.GetPoint(c)
        total += (pa[0] * (pb[1] * pc[2] - pb[2] * pc[1]) + pa[1] * (pb[2] * pc[0] - pb[0] * pc[2])
                  + pa[2] * (pb[0] * pc[1] - pb[1] * pc[0])) / 6.0
    return total


def vtk_figures(points, triangles, kinds, loaded):
    poly = polydata(points, triangles)
    f = {"nodes": len(points), "triangles": len(triangles), "loaded elements": loaded}
    f["displacement triangles"] = sum(1 in k for k in kinds)
    f["traction triangles"] = sum(2 in k for k in kinds)
    f["open edges"] = feature_edges(poly, True, False)
    f["non-manifold edges"] = feature_edges(poly, False, True)
    f["orientation conflicts"] = orientation_conflicts(poly)

    conn = vtkPolyDataConnectivityFilter()
    conn.SetInputData(poly)
    conn.SetExtractionModeToAllRegions()
    conn.Update()
    f["shells"] = conn.GetNumberOfExtractedRegions()
    closed, volume, mass_volume = 0, 0.0, 0.0
    for region in range(f["shells"]):
        one = vtkPolyDataConnectivityFilter()
        one.SetInputData(poly)
        one.SetExtractionModeToSpecifiedRegions()
        one.AddSpecifiedRegion(region)
        clean = vtkCleanPolyData()  # drops the points of the other regions
        clean.SetInputConnection(one.GetOutputPort())
        clean.PointMergingOff()
        clean.Update()
        shell = clean.GetOutput()
        if feature_edges(shell, True, True) == 0:
            closed += 1
            volume += divergence_volume(shell)
            mass = vtkMassProperties()
            mass.SetInputData(shell)
            mass.Update()
            mass_volume += abs(mass.GetVolume())
    f["closed shells"] = closed
    f["enclosed volume"] = volume
    f["mass volume"] = mass_volume
    inward = closed > 0 and any(flipped_by_normals(poly, True)) and not any(flipped_by_normals(poly, False))

    pts = poly.GetPoints()
    f["degenerate triangles"] = sum(
        vtkTriangle.TriangleArea(pts.GetPoint(a), pts.GetPoint(b), pts.GetPoint(c)) == 0.0
        for a, b, c in triangles)
    locator = vtkStaticPointLocator()
    locator.SetDataSet(poly)
    locator.BuildLocator()
    ids = vtkIdList()
    coincident = 0
    for i in range(len(points)):
        locator.FindPointsWithinRadius(0.0, points[i], ids)
        coincident += ids.GetNumberOfIds() > 1
    f["coincident nodes"] = coincident
    clean = vtkCleanPolyData()
    clean.SetInputData(poly)
    clean.PointMergingOff()
    clean.Update()
    f["unused nodes"] = len(points) - clean.GetOutput().GetNumberOfPoints()
    # A solid's surface must be closed: open and non-manifold edges count too.
    f["problems"] = (f["open edges"] + f["non-manifold edges"]
                     + f["orientation conflicts"] + f["degenerate triangles"] + (1 if closed and volume <= 0 else 0)
                     + (1 if f["displacement triangles"] == 0 else 0))
    return f, inward


# ---------------------------------------------------------------- run


def run(binary, directory, *args):
    return subprocess.run([binary, *args], cwd=directory, stdout=subprocess.PIPE, stderr=subprocess.PIPE)


def report_figures(text):
    figures = {}
    for line in text.split("\n"):
        if not line:
            break
        label, value = line.split(": ")
        figures[label] = float(value) if label == "enclosed volume" else int(value)
    return figures


def given_models():
    for name in sys.argv[2:]:
        path = pathlib.Path(name)
        yield path.name, {"file": path}


def main():
    binary = sys.argv[1]
    with tempfile.TemporaryDirectory() as scratch:
        for case, model in list(variants()) + list(given_models()):
            d = pathlib.Path(scratch) / case
            d.mkdir()
            if "file" in model:
                (d / "ANSYS_Model.cdb").write_bytes(model["file"].read_bytes())
            else:
                write_cdb(d / "ANSYS_Model.cdb", model)
            checked = run(binary, d, "--check")
            check(case, "files after --check", sorted(p.name for p in d.iterdir()), ["ANSYS_Model.cdb"])
            check(case, "--check stderr", checked.stderr, b"")
            translated = run(binary, d)
            if translated.returncode != 0:
                FAILURES.append("%s: translation ended with %d: %r" % (case, translated.returncode, translated.stderr))
                continue
            got = report_figures(checked.stdout.decode())
            points, triangles, kinds = read_input_dat(d / "input.dat")
            loaded = len(set(model["loaded"])) if "loaded" in model else got.get("loaded elements")
            want, inward = vtk_figures(points, triangles, kinds, loaded)
            for label in want:
                if label in ("enclosed volume", "mass volume"):
                    continue
                check(case, label, got.get(label), want[label])
            if "elements" in model:
                check(case, "elements", got.get("elements"), len(model["elements"]))
            v = got.get("enclosed volume", float("nan"))
            if not math.isclose(v, want["enclosed volume"], rel_tol=1e-9, abs_tol=1e-12):
                FAILURES.append("%s: enclosed volume %r, divergence sum %r" % (case, v, want["enclosed volume"]))
            # An inconsistently oriented surface encloses no volume VTK would measure.
            if want["orientation conflicts"] == 0 and not math.isclose(
                    abs(v), want["mass volume"], rel_tol=1e-9, abs_tol=1e-12):
                FAILURES.append("%s: enclosed volume %r, vtkMassProperties %r" % (case, v, want["mass volume"]))
            check(case, "inward normals (volume <= 0)", want["closed shells"] > 0 and v <= 0, inward)
            check(case, "status", checked.returncode, 3 if want["problems"] else 0)
            print("%-24s problems %d, shells %d (closed %d), volume %.12g" % (
                case, got.get("problems", -1), got.get("shells", -1), got.get("closed shells", -1), v))
    for failure in FAILURES:
        print("FAIL " + failure)
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
