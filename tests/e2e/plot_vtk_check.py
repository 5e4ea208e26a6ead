#!/usr/bin/python3
"""Loads the plot file of a translated model with VTK's Tecplot reader.

Usage: plot_vtk_check.py CDB2BEM_BINARY MODEL_FILE [MODEL_FILE ...]

Each model file is translated in a scratch directory by the given program;
the plot file it writes must load with vtkTecplotReader as one zone "Model"
of triangles and, when the model has field points, a zone "Field Points" of
quadrilaterals. Zone names, point and cell counts, connectivity and the
coordinates (to 7 significant digits) are checked against values taken from
the model file itself: its offset counts, field components, node block and
element block, with quadrilaterals cut along their shorter diagonal.
Exits with status 0 when every check passes, 1 otherwise.
"""

import math
import pathlib
import shutil
import subprocess
import sys
import tempfile

# VTK's classes from the modules that hold them: "import vtk" loads every
# module of VTK, a fifth of a second of each run of the suite.
from vtkmodules.vtkCommonCore import vtkIdList
from vtkmodules.vtkCommonDataModel import VTK_QUAD, VTK_TRIANGLE, vtkCompositeDataSet
from vtkmodules.vtkIOGeometry import vtkTecplotReader

sys.dont_write_bytecode = True
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))
from cdb_records import find_component  # noqa: E402

NODE_FORMATS = {  # first 13 characters -> (integer width, real width)
    "(3i8,6e16.9) ": (8, 16),
    "(3i8,6e20.13)": (8, 20),
    "(3i9,6e20.13)": (9, 20),
    "(3i9,6e21.13e": (9, 21),
}


def model_from_cdb(path):
    """Point and cell lists of both zones, derived from the model file."""
    records = path.read_text().replace("\r", "").split("\n")
    at = next(n for n, r in enumerate(records) if r.startswith("*ELSE"))
    raw_nodes, raw_elements = (int(records[at + k][12:21]) for k in (1, 2))
    node_count, element_count, cells, points = raw_nodes, raw_elements, 0, 0
    at, cells = find_component(records, "FIELDCELLS", at)
    if at is not None:  # field points count only after the field cells
        at, points = find_component(records, "FIELDPOINTS", at + 1)
        if at is not None:
            node_count, element_count = raw_nodes - points, raw_elements - cells

    at = next(n for n, r in enumerate(records) if r[:13].ljust(13) in NODE_FORMATS)
    iw, rw = NODE_FORMATS[records[at][:13].ljust(13)]
    coords = []
    for record in records[at + 1: at + 1 + node_count + points]:
        fields = [record[3 * iw + k * rw: 3 * iw + (k + 1) * rw].strip() for k in range(3)]
        coords.append(tuple(float(f) if f else 0.0 for f in fields))

    at = next(n for n, r in enumerate(records) if r.startswith(("(19i8)", "(19i9)", "(19i10)")))
    values = []
    for record in records[at + 1:]:
        values += [int(v) for v in record.replace(",", " ").split()]
        if len(values) >= 15 * (element_count + cells):
            break
    elements = [values[15 * e + 10: 15 * e + 15] for e in range(element_count + cells)]

    def length(a, b):
        pa, pb = coords[a - 1], coords[b - 1]
        return math.sqrt((pa[0] - pb[0]) ** 2 + (pa[1] - pb[1]) ** 2 + (pa[2] - pb[2]) ** 2)

    triangles = []
    for _, i, j, k, l in elements[:element_count]:
        if k == l:
            triangles.append((i, j, k))
        elif length(j, l) > length(i, k):
            triangles += [(i, j, k), (i, k, l)]
        else:
            triangles += [(i, j, l), (j, k, l)]
    zones = [("Model", coords[:node_count], triangles, VTK_TRIANGLE)]
    if points:
        quads = [tuple(c - node_count for c in e[1:]) for e in elements[element_count:]]
        zones.append(("Field Points", coords[node_count:], quads, VTK_QUAD))
    return zones


def seven_digits(value):
    return "%.6e" % (value + 0.0)


def check(binary, model_path):
    failures = []
    with tempfile.TemporaryDirectory(prefix="cdb2bem-vtk-") as work:
        shutil.copyfile(model_path, pathlib.Path(work) / "ANSYS_Model.cdb")
        run = subprocess.run([binary], cwd=work, capture_output=True)
        if run.returncode != 0:
            return ["translation ended with status %d: %r" % (run.returncode, run.stderr)]
        reader = vtkTecplotReader()
        reader.SetFileName(str(pathlib.Path(work) / "input.plt"))
        reader.Update()
        data = reader.GetOutput()
    expected = model_from_cdb(pathlib.Path(model_path))
    names = [data.GetMetaData(b).Get(vtkCompositeDataSet.NAME())
             for b in range(data.GetNumberOfBlocks())]
    if names != [zone[0] for zone in expected]:
        return ["zone names %r, expected %r" % (names, [zone[0] for zone in expected])]
    for b, (name, coords, cells, cell_type) in enumerate(expected):
        grid = data.GetBlock(b)
        if grid.GetNumberOfPoints() != len(coords) or grid.GetNumberOfCells() != len(cells):
            failures.append("%s: %d points and %d cells, expected %d and %d" % (
                name, grid.GetNumberOfPoints(), grid.GetNumberOfCells(), len(coords), len(cells)))
            continue
        for p, xyz in enumerate(coords):
            got = grid.GetPoint(p)
            if [seven_digits(v) for v in got] != [seven_digits(v) for v in xyz]:
                failures.append("%s point %d: %r, expected %r" % (name, p + 1, got, xyz))
        for c, corners in enumerate(cells):
            ids = vtkIdList()
            grid.GetCellPoints(c, ids)
            got = tuple(ids.GetId(k) + 1 for k in range(ids.GetNumberOfIds()))
            if grid.GetCellType(c) != cell_type or got != tuple(corners):
                failures.append("%s cell %d: type %d corners %r, expected type %d corners %r" % (
                    name, c + 1, grid.GetCellType(c), got, cell_type, tuple(corners)))
    return failures


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    status = 0
    for model in argv[2:]:
        failures = check(argv[1], model)
        for failure in failures:
            print("%s: %s" % (model, failure))
        print("%s: %s" % (model, "FAILED" if failures else "plot file loads as expected"))
        status |= bool(failures)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
