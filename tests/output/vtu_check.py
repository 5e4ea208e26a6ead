#!/usr/bin/python3
"""Reads the .vtu written by `cdb2bem --vtu` back with VTK and with meshio.

Usage: vtu_check.py CDB2BEM_BINARY [MODEL_FILE ...]

Each model file (and the flawed models this script makes itself) is
translated twice in scratch directories by the given program: once plainly and
once with --vtu. The run with --vtu must print, return and write what the plain
run does, input.dat (but for its date) and input.plt byte for byte; a model the plain run refuses
must be refused alike, with no .vtu left behind. Otherwise the .vtu is read by
vtkXMLUnstructuredGridReader and by meshio, and everything in it is compared
with what the run's input.dat holds, item by item: point and cell counts,
coordinates, corners, cell types, bc_kind, bc_value, triangle, region and the
point numbers. The element numbers come from the model file's element block
(one triangle for a three-node element, two for a four-node one), and the
check mask is worked out here from input.dat's triangles: 1 for a triangle of
zero area or with a corner that is not finite, 2 for one on an edge used by
exactly two triangles that run along it in the same direction. Field cells
with a corner that is no field point must be left out, with a warning.
Exits with status 0 when every check passes, 1 otherwise.
"""

import math
import pathlib
import shutil
import subprocess
import sys
import tempfile

import meshio
import numpy
# VTK's classes from the modules that hold them: "import vtk" loads every
# module of VTK, a fifth of a second of each run of the suite.
from vtkmodules.util import numpy_support
from vtkmodules.vtkIOXML import vtkXMLUnstructuredGridReader

sys.dont_write_bytecode = True
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
from cdb_records import find_component  # noqa: E402

VTK_TRIANGLE, VTK_QUAD = 5, 9


def real(text):
    return float(text.strip().replace("D", "e")) + 0.0


def digits(value, significant):
    """A real as text to `significant` digits, -0 as 0."""
    return "%.*e" % (significant - 1, float(value) + 0.0)


def read_input_dat(path):
    """Nodes, triangles, field points and field cells as input.dat holds them."""
    records = path.read_bytes().decode("ascii").split("\r\n")
    triangle_count, node_count = int(records[2][0:12]), int(records[2][12:24])
    at = records.index(" $ Nodes:") + 1
    nodes = []
    for n, record in enumerate(records[at: at + node_count]):
        assert int(record[0:8]) == n + 1, record
        nodes.append([real(record[8 + 24 * k: 32 + 24 * k]) for k in range(3)])
    at = records.index(" $ Elements and Boundary Conditions:") + 1
    triangles = []
    for t, record in enumerate(records[at: at + triangle_count]):
        assert int(record[0:10]) == t + 1, record
        triangles.append({
            "corners": [int(record[13 + 8 * k: 21 + 8 * k]) for k in range(3)],
            "kinds": [int(record[41 + 4 * k: 45 + 4 * k]) for k in range(3)],
            "values": [real(record[57 + 24 * k: 81 + 24 * k]) for k in range(3)]})
    first, last = records.index(" $ Field Points"), records.index(" $ Field Cells")
    field_points = []
    for j, record in enumerate(records[first + 1: last]):
        assert int(record[0:10]) == j + 1, record
        field_points.append([real(record[10 + 24 * k: 34 + 24 * k]) for k in range(3)])
    field_cells = []
    for record in records[last + 1: records.index(" $ End of the File")]:
        fields = [int(record[12 * k: 12 * k + 12]) for k in range(5)]
        assert fields[0] == len(field_cells) + 1, record
        field_cells.append(fields[1:])
    return nodes, triangles, field_points, field_cells


def model_elements(model_path):
    """ElementCount of the model file and the element number of each triangle,
    in the order the triangles are made."""
    records = model_path.read_text().replace("\r", "").split("\n")
    at = next(n for n, r in enumerate(records) if r.startswith("*ELSE"))
    element_count = int(records[at + 2][12:21])
    at, cells = find_component(records, "FIELDCELLS", at)
    if at is not None and find_component(records, "FIELDPOINTS", at + 1)[0] is not None:
        element_count -= cells
    at = next(n for n, r in enumerate(records) if r.startswith(("(19i8)", "(19i9)", "(19i10)")))
    values = []
    for record in records[at + 1:]:
        if len(values) >= 15 * element_count:
            break
        values += [int(v) for v in record.replace(",", " ").split()]
    numbers = []
    for e in range(element_count):
        number, _, _, k, l = values[15 * e + 10: 15 * e + 15]
        numbers += [number] * (1 if k == l else 2)
    return element_count, numbers


def check_masks(nodes, triangles):
    """The mask of each triangle: 1 degenerate, 2 on an orientation conflict."""
    masks = []
    for t in triangles:
        a, b, c = (nodes[n - 1] for n in t["corners"])
        u = [b[k] - a[k] for k in range(3)]
        v = [c[k] - a[k] for k in range(3)]
        cross = [u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2], u[0] * v[1] - u[1] * v[0]]
        finite = all(math.isfinite(x) for p in (a, b, c) for x in p)
        masks.append(1 if not finite or all(x == 0 for x in cross) else 0)
    uses = {}
    for index, t in enumerate(triangles):
        corners = t["corners"]
        for k in range(3):
            p, q = corners[k], corners[(k + 1) % 3]
            uses.setdefault((min(p, q), max(p, q)), []).append((index, p < q))
    for users in uses.values():
        if len(users) == 2 and users[0][1] == users[1][1]:
            for index, _ in users:
                masks[index] |= 2
    return masks


def expected_file(model_path, dat_path):
    """What the .vtu must hold: points, cells (type, 0-based point ids), arrays."""
    nodes, triangles, field_points, field_cells = read_input_dat(dat_path)
    n, p = len(nodes), len(field_points)
    element_count, elements = model_elements(model_path)
    assert len(elements) == len(triangles), (len(elements), len(triangles))
    kept = [k for k, c in enumerate(field_cells) if all(1 <= x <= p for x in c)]
    zeros = [0] * len(kept)
    return {
        "points": nodes + field_points,
        "types": [VTK_TRIANGLE] * len(triangles) + [VTK_QUAD] * len(kept),
        "corners": [[x - 1 for x in t["corners"]] for t in triangles] +
                   [[n + x - 1 for x in field_cells[k]] for k in kept],
        "node": list(range(1, n + p + 1)),
        "bc_kind": [t["kinds"] for t in triangles] + [[0, 0, 0]] * len(kept),
        "bc_value": [t["values"] for t in triangles] + [[0.0, 0.0, 0.0]] * len(kept),
        "element": elements + [element_count + k + 1 for k in kept],
        "triangle": list(range(1, len(triangles) + 1)) + zeros,
        "region": [0] * len(triangles) + [1] * len(kept),
        "check": check_masks(nodes, triangles) + zeros,
        "boundary_points": n,
        "left_out": len(field_cells) - len(kept),
    }


def read_with_vtk(path):
    """The file as VTK reads it, or a list of VTK's errors."""
    errors = []
    reader = vtkXMLUnstructuredGridReader()
    reader.AddObserver("ErrorEvent", lambda caller, event: errors.append(event))
    reader.SetFileName(str(path))
    reader.Update()
    grid = reader.GetOutput()
    if errors or grid is None:
        return None, ["VTK could not read it"]
    cells = grid.GetCells()
    connectivity = numpy_support.vtk_to_numpy(cells.GetConnectivityArray())
    offsets = numpy_support.vtk_to_numpy(cells.GetOffsetsArray())
    read = {
        "points": numpy_support.vtk_to_numpy(grid.GetPoints().GetData())
        if grid.GetNumberOfPoints() else numpy.zeros((0, 3)),
        "types": [grid.GetCellType(c) for c in range(grid.GetNumberOfCells())],
        "corners": [list(connectivity[offsets[c]:offsets[c + 1]])
                    for c in range(grid.GetNumberOfCells())],
        "node": numpy_support.vtk_to_numpy(grid.GetPointData().GetArray("node")),
    }
    data = grid.GetCellData()
    for name in ("bc_kind", "bc_value", "element", "triangle", "region", "check"):
        array = data.GetArray(name)
        read[name] = None if array is None else numpy_support.vtk_to_numpy(array)
    return read, []


def read_with_meshio(path):
    """The file as meshio reads it."""
    try:
        mesh = meshio.read(str(path))
    except Exception as error:  # meshio raises several kinds
        return None, ["meshio could not read it: %r" % error]
    types = {"triangle": VTK_TRIANGLE, "quad": VTK_QUAD}
    read = {"points": mesh.points, "types": [], "corners": [],
            "node": mesh.point_data.get("node")}
    for block in mesh.cells:
        read["types"] += [types.get(block.type, -1)] * len(block.data)
        read["corners"] += [list(row) for row in block.data]
    for name in ("bc_kind", "bc_value", "element", "triangle", "region", "check"):
        blocks = mesh.cell_data.get(name)
        read[name] = None if blocks is None else numpy.concatenate(blocks)
    return read, []


def compare(reader, read, expected):
    failures = []
    points, cells = len(expected["points"]), len(expected["types"])
    if len(read["points"]) != points or len(read["types"]) != cells:
        return ["%s: %d points and %d cells, expected %d and %d" % (
            reader, len(read["points"]), len(read["types"]), points, cells)]
    if read["points"].dtype != numpy.float64:
        failures.append("%s: points of type %s" % (reader, read["points"].dtype))
    for p, (got, want) in enumerate(zip(read["points"], expected["points"])):
        # input.dat holds boundary nodes to 15 digits, field points to 9
        significant = 15 if p < expected["boundary_points"] else 9
        if [digits(v, significant) for v in got] != [digits(v, significant) for v in want]:
            failures.append("%s: point %d at %r, expected %r" % (reader, p, list(got), want))
    for c in range(cells):
        if read["types"][c] != expected["types"][c] or \
                [int(x) for x in read["corners"][c]] != expected["corners"][c]:
            failures.append("%s: cell %d of type %d with points %r, expected %d with %r" % (
                reader, c, read["types"][c], read["corners"][c], expected["types"][c],
                expected["corners"][c]))
    for name in ("node", "bc_kind", "element", "triangle", "region", "check", "bc_value"):
        got = read[name]
        if got is None:
            failures.append("%s: no array %s" % (reader, name))
            continue
        if name == "bc_value":
            if got.dtype != numpy.float64:
                failures.append("%s: bc_value of type %s" % (reader, got.dtype))
            got = [[digits(v, 15) for v in row] for row in got]
            want = [[digits(v, 15) for v in row] for row in expected[name]]
        else:
            got, want = got.tolist(), expected[name]
        for item, (g, w) in enumerate(zip(got, want)):
            if g != w:
                failures.append("%s: %s of item %d is %r, expected %r" % (reader, name, item, g, w))
        if len(got) != len(want):
            failures.append("%s: %d items of %s, expected %d" % (reader, len(got), name, len(want)))
    return failures


def start(binary, model_path, work, args):
    """The program started on a copy of the model in `work`."""
    work.mkdir()
    shutil.copyfile(model_path, work / "ANSYS_Model.cdb")
    return subprocess.Popen([binary] + args, cwd=work, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE)


def finished(run):
    stdout, stderr = run.communicate()
    return subprocess.CompletedProcess(run.args, run.returncode, stdout, stderr)


def without_date(dat):
    return dat[:68] + dat[77:]


def check(binary, model_path, scratch):
    model_path = pathlib.Path(model_path)
    # The two runs at once, in directories of their own.
    runs = (start(binary, model_path, scratch / "plain", []),
            start(binary, model_path, scratch / "vtu", ["--vtu", "model.vtu"]))
    plain, with_vtu = (finished(run) for run in runs)
    vtu = scratch / "vtu" / "model.vtu"
    # Diagnostics name the files of each run's own directory.
    plain.stderr = plain.stderr.replace(bytes(scratch / "plain"), b"WORK")
    with_vtu.stderr = with_vtu.stderr.replace(bytes(scratch / "vtu"), b"WORK")
    if plain.returncode != with_vtu.returncode or plain.stdout != with_vtu.stdout:
        return ["--vtu changed the run: status %d, stdout %r; plain: status %d, stdout %r" % (
            with_vtu.returncode, with_vtu.stdout, plain.returncode, plain.stdout)]
    if plain.returncode != 0:
        failures = [] if not vtu.exists() else ["a .vtu was written for a refused model"]
        if with_vtu.stderr != plain.stderr:
            failures.append("stderr %r, plain run %r" % (with_vtu.stderr, plain.stderr))
        return failures or None
    failures = []
    for name, mask in (("input.dat", without_date), ("input.plt", lambda b: b)):
        got, want = ((scratch / run / name).read_bytes() for run in ("vtu", "plain"))
        if mask(got) != mask(want):
            failures.append("%s differs from the plain run's" % name)
    expected = expected_file(model_path, scratch / "vtu" / "input.dat")
    warning = b""
    if expected["left_out"]:
        warning = (" Warning: %d field cell%s left out of the .vtu" % (
            expected["left_out"], "" if expected["left_out"] == 1 else "s")).encode()
    # The .vtu's own warning line, where it stands among those of the plain
    # run (which follow the outputs' writing), and nothing else.
    lines = with_vtu.stderr.split(b"\r\n")
    own = [line for line in lines if warning and line.startswith(warning)]
    rest = b"\r\n".join(line for line in lines if line not in own)
    if len(own) != (1 if warning else 0) or rest != plain.stderr:
        failures.append("stderr %r, plain run %r, expected warning %r" % (
            with_vtu.stderr, plain.stderr, warning))
    for reader, read_file in (("VTK", read_with_vtk), ("meshio", read_with_meshio)):
        read, errors = read_file(vtu)
        failures += errors if read is None else compare(reader, read, expected)
    return failures


def cdb_text(nodes, elements, field_points=(), field_cells=(), constraints=(), pressures=()):
    """A model file: nodes as (x, y, z), elements and field cells as corner
    lists of model node numbers, constraints as (node, label, value), pressures
    as (element, value)."""
    n, e = len(nodes) + len(field_points), len(elements) + len(field_cells)
    lines = ["/COM,ANSYS RELEASE 2020 R1           BUILD 20.1", "/PREP7", "/NOPR",
             "*IF,_CDRDOFF,EQ,1,THEN", "_CDRDOFF=", "*ELSE",
             "NUMOFF,NODE,%9d" % n, "NUMOFF,ELEM,%9d" % e, "NUMOFF,TYPE,        1", "*ENDIF",
             "ET,        1,181", "NBLOCK,6,SOLID,%10d,%10d" % (n, n), "(3i9,6e21.13e3)"]
    for number, xyz in enumerate(list(nodes) + list(field_points), 1):
        lines.append("%9d%9d%9d" % (number, 0, 0) + "".join("%21.13E" % v for v in xyz))
    lines += ["N,R5.3,LOC,       -1,", "EBLOCK,19,SOLID,%10d,%10d" % (e, e), "(19i9)"]
    for number, corners in enumerate(list(elements) + list(field_cells), 1):
        corners = list(corners) + [corners[-1]] * (4 - len(corners))
        lines.append("".join("%9d" % v for v in [1, 1, 1, 1, 0, 0, 0, 0, 4, 0, number] + corners))
    lines.append("       -1")
    if field_points:
        lines += ["CMBLOCK,FIELDCELLS,ELEM,       2  ! users element component definition",
                  "(8i10)", "%10d%10d" % (len(elements) + 1, -e),
                  "CMBLOCK,FIELDPOINTS,NODE,       2  ! users node component definition",
                  "(8i10)", "%10d%10d" % (len(nodes) + 1, -n)]
    for node, label, value in constraints:
        lines.append("D,%7d,%-4s, %.9E, 0.000000000E+00" % (node, label, value))
    for element, value in pressures:
        lines.append("SFE,%9d,   1,PRES, 0,R5.0" % element)
        lines += ["  %.8f      %.8f      %.8f      %.8f    " % ((value,) * 4)] + \
                 ["  0.00000000      0.00000000      0.00000000      0.00000000    "] * 2
    lines.append("FINISH")
    return "\r\n".join(lines) + "\r\n"


def flawed_models(directory):
    """Models with what the check marks and a field cell that must be left out."""
    cube = [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1), (0, 1, 1),
            (0.5, 0, 0)]
    faces = [(1, 4, 3, 2), (5, 8, 7, 6),  # the top face runs against its neighbours
             (1, 2, 6, 5), (3, 4, 8, 7), (1, 5, 8, 4), (2, 3, 7, 6),
             (1, 9, 2)]  # zero area: node 9 lies on the edge from 1 to 2
    models = {
        "cube_flaws": cdb_text(
            cube, faces, field_points=[(0.25, 0.25, 0.5), (0.75, 0.25, 0.5), (0.75, 0.75, 0.5),
                                       (0.25, 0.75, 0.5)],
            field_cells=[(10, 11, 12, 13), (10, 11, 1, 13)],  # node 1 is no field point
            constraints=[(n, "UZ", 0.0) for n in (1, 2, 3, 4)] + [(1, "UX", 1e-3)],
            pressures=[(2, 2.5)]),
        "tetrahedron_one_reversed": cdb_text(
            [(0, 0, 0), (1, 0, 0), (0, 1, 0), (0, 0, 1)],
            [(1, 3, 2), (1, 2, 4), (1, 4, 3), (2, 4, 3)],
            constraints=[(n, label, 0.0) for n in (1, 2, 3) for label in ("UX", "UY", "UZ")],
            pressures=[(4, 1.0)]),
    }
    paths = []
    for name, text in models.items():
        path = directory / (name + ".cdb")
        path.write_bytes(text.encode("ascii"))
        paths.append(path)
    return paths


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    status = 0
    with tempfile.TemporaryDirectory(prefix="cdb2bem-vtu-") as scratch:
        scratch = pathlib.Path(scratch)
        (scratch / "models").mkdir()
        models = [pathlib.Path(m) for m in argv[2:]] + flawed_models(scratch / "models")
        for index, model in enumerate(models):
            work = scratch / str(index)
            work.mkdir()
            failures = check(argv[1], model, work)
            for failure in (failures or [])[:20]:
                print("%s: %s" % (model, failure))
            verdict = "FAILED" if failures else (
                "refused alike, no .vtu" if failures is None else ".vtu reads back as expected")
            print("%s: %s" % (model, verdict))
            status |= bool(failures)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
