#!/usr/bin/env python3
"""Writes a deterministic ANSYS CDB surface model for the benchmark.

The model is a closed surface: a sphere of radius 10 meshed by latitude rings
and longitude segments, quadrilaterals between the rings and triangles (K = L)
around the two poles, every ring node moved on the sphere by up to a tenth of
the ring and segment spacing by a fixed hash, so that the two diagonals of a
quadrilateral differ and both cuts occur. After the
surface come a plane grid of field points inside the sphere and its field
cells, the components FIELDCELLS and FIELDPOINTS, displacement constraints on
the nodes of a cap around the north pole ("D," records, three directions per
node) and pressures on the elements of a band next to the south pole ("SFE,"
records), then FINISH.

Layouts: nodes '(3i9,6e21.13e3)' with three real fields (the rotation angles
are zero and left out, as ANSYS does), elements '(19i9)' with fifteen values
(ten attributes, the element number, I J K L), or '(19i10)' with --i10, as
current ANSYS releases write them.

    generate_model.py [--i10] NODES PATH     writes the model of about NODES nodes
    generate_model.py NODES          prints its counts only
    generate_model.py --volume ELEMENTS PATH   writes the volume model of about ELEMENTS bricks
    generate_model.py --volume ELEMENTS        prints its counts only

The volume model (for --skin) is a cube of n x n x n SOLID185 bricks, n the
cube root of ELEMENTS rounded, its inner nodes moved by up to a tenth of the
spacing by the fixed hash (the boundary nodes stay on the cube's faces);
displacement constraints on the nodes of the bottom face (z = 0, three
directions) and pressures on face 6 (the top) of the top layer of bricks.
"""

import json
import math
import os
import sys

RADIUS = 10.0
CONSTRAINED_SHARE = 0.03   # share of the latitude rings constrained, from the north pole
PRESSURE_SHARE = 0.03      # share of the latitude rings loaded, next to the south pole
FIELD_SHARE = 0.01         # field points, as a share of the boundary nodes
CHUNK_LINES = 1 << 16


def plan(target_nodes):
    """Mesh parameters and counts of the model of about `target_nodes` nodes."""
    rings = max(4, round(math.sqrt(target_nodes / 2.0)))   # latitude bands
    segments = 2 * rings                                     # longitude segments
    nodes = 2 + (rings - 1) * segments
    elements = rings * segments
    triangles_elements = 2 * segments
    side = max(2, round(math.sqrt(FIELD_SHARE * nodes)))
    field_points = side * side
    field_cells = (side - 1) * (side - 1)
    constrained_rings = max(1, round(CONSTRAINED_SHARE * rings))
    constrained_nodes = 1 + constrained_rings * segments
    loaded_rings = max(1, round(PRESSURE_SHARE * rings))
    loaded_elements = loaded_rings * segments
    return {
        "rings": rings, "segments": segments, "field_side": side,
        "constrained_rings": constrained_rings, "loaded_rings": loaded_rings,
        "NodeCount": nodes, "ElementCount": elements,
        "FieldPointCount": field_points, "FieldCellCount": field_cells,
        "QuadrilateralCount": elements - triangles_elements,
        "TriangleCount": 2 * elements - triangles_elements,
        "ConstrainedNodes": constrained_nodes, "LoadedElements": loaded_elements,
    }


def _hash_unit(n):
    """A fixed pseudo-random number in [-1, 1) for the integer n."""
    h = (n * 2654435761 + 0x9E3779B9) & 0xFFFFFFFF
    h ^= h >> 15
    h = (h * 2246822519) & 0xFFFFFFFF
    h ^= h >> 13
    return h / 2147483648.0 - 1.0


def _exp3(text):
    """'%20.13E' fields with two exponent digits made ANSYS's three (E+01 -> E+001)."""
    return text.replace("E+", "E+0").replace("E-", "E-0")


def _node_number(p, ring, segment_count, j):
    """Node number of segment j (wrapping) on ring `ring` (0 and p['rings'] are the poles)."""
    if ring == 0:
        return 1
    if ring == p["rings"]:
        return p["NodeCount"]
    return 2 + (ring - 1) * segment_count + (j % segment_count)


def element_format(width):
    """The element block's format record and the record format of a boundary
    element and of a field cell (element number, I, J, K, L to fill), in
    fields of `width` columns."""
    attrs = "%*d" * 10
    tail = ("%" + str(width) + "d") * 5 + "\n"
    boundary = attrs % tuple(x for v in (1, 1, 1, 1, 0, 0, 0, 0, 4, 0) for x in (width, v))
    cell = attrs % tuple(x for v in (1, 2, 1, 1, 0, 0, 0, 0, 4, 0) for x in (width, v))
    return "(19i%d)" % width, boundary + tail, cell + tail


def write_model(path, target_nodes, element_width=9):
    p = plan(target_nodes)
    elem_format, elem_fmt, cell_fmt = element_format(element_width)
    rings, segs = p["rings"], p["segments"]
    n_nodes, n_elems = p["NodeCount"], p["ElementCount"]
    n_fp, n_fc = p["FieldPointCount"], p["FieldCellCount"]
    side = p["field_side"]
    raw_nodes, raw_elems = n_nodes + n_fp, n_elems + n_fc

    tmp = path + ".part"
    with open(tmp, "w", encoding="ascii", newline="\n", buffering=1 << 22) as f:
        f.write(
            "/COM,ANSYS RELEASE Release 19.1      BUILD 19.1      UP20180418       09:51:26\n"
            "/PREP7\n/NOPR\n"
            "/TITLE,cdb2bem benchmark sphere of %d nodes\n"
            "*IF,_CDRDOFF,EQ,1,THEN     !if solid model was read in\n"
            "_CDRDOFF=             !reset flag, numoffs already performed\n"
            "*ELSE              !offset database for the following FE model\n"
            "NUMOFF,NODE,%9d\n"
            "NUMOFF,ELEM,%9d\n"
            "NUMOFF,TYPE,        2\n"
            "*ENDIF\n"
            "DOF,DELETE\n"
            "ET,        1,181\n"
            "ET,        2,200\n"
            "NBLOCK,6,SOLID,%10d,%10d\n"
            "(3i9,6e21.13e3)\n" % (n_nodes, raw_nodes, raw_elems, raw_nodes, raw_nodes))

        # Boundary nodes: north pole, rings 1 .. rings-1, south pole.
        node_fmt = "%9d        0        0%20.13E%20.13E%20.13E\n"
        cos, sin = math.cos, math.sin
        d_theta, d_phi = math.pi / rings, 2.0 * math.pi / segs
        f.write(_exp3(node_fmt % (1, 0.0, 0.0, RADIUS)))
        number = 2
        for ring in range(1, rings):
            lines = []
            for j in range(segs):
                theta = d_theta * (ring + 0.1 * _hash_unit(2 * number))
                phi = d_phi * (j + 0.1 * _hash_unit(2 * number + 1))
                rs = RADIUS * sin(theta)
                lines.append(node_fmt % (number, rs * cos(phi), rs * sin(phi),
                                         RADIUS * cos(theta)))
                number += 1
            f.write(_exp3("".join(lines)))
        f.write(_exp3(node_fmt % (n_nodes, 0.0, 0.0, -RADIUS)))
        # Field points: a plane grid inside the sphere, numbered after the boundary nodes.
        lines = []
        for a in range(side):
            for b in range(side):
                number = n_nodes + 1 + a * side + b
                lines.append(node_fmt % (number, -5.0 + 10.0 * b / (side - 1),
                                         -5.0 + 10.0 * a / (side - 1), 1.25))
            if len(lines) >= CHUNK_LINES:
                f.write(_exp3("".join(lines)))
                lines = []
        f.write(_exp3("".join(lines)))
        f.write("N,R5.3,LOC,       -1,\n"
                "EBLOCK,19,SOLID,%10d,%10d\n"
                "%s\n" % (raw_elems, raw_elems, elem_format))

        # Boundary elements, outward normals: north cap triangles, quadrilateral
        # bands, south cap triangles (K = L for a triangle).
        e = 1
        lines = []
        for j in range(segs):
            k = _node_number(p, 1, segs, j + 1)
            lines.append(elem_fmt % (e, 1, _node_number(p, 1, segs, j), k, k))
            e += 1
        f.write("".join(lines))
        for ring in range(1, rings - 1):
            base = 2 + (ring - 1) * segs
            lines = []
            for j in range(segs):
                j1 = (j + 1) % segs
                lines.append(elem_fmt % (e, base + j, base + segs + j,
                                         base + segs + j1, base + j1))
                e += 1
            f.write("".join(lines))
        lines = []
        for j in range(segs):
            k = _node_number(p, rings - 1, segs, j + 1)
            lines.append(elem_fmt % (e, _node_number(p, rings - 1, segs, j), n_nodes, k, k))
            e += 1
        f.write("".join(lines))
        # Field cells on the field-point grid.
        lines = []
        for a in range(side - 1):
            for b in range(side - 1):
                i0 = n_nodes + 1 + a * side + b
                lines.append(cell_fmt % (e, i0, i0 + 1, i0 + side + 1, i0 + side))
                e += 1
            if len(lines) >= CHUNK_LINES:
                f.write("".join(lines))
                lines = []
        f.write("".join(lines))
        f.write("       -1\n")

        # Components: ranges written as first and negated last number.
        f.write("CMBLOCK,FIELDCELLS,ELEM,       2  ! users element component definition\n"
                "(8i10)\n%10d%10d\n" % (n_elems + 1, -(n_elems + n_fc)))
        f.write("CMBLOCK,FIELDPOINTS,NODE,       2  ! users node component definition\n"
                "(8i10)\n%10d%10d\n" % (n_nodes + 1, -(n_nodes + n_fp)))

        # Displacement constraints on the north cap: x and y fixed, z prescribed.
        d_fmt = ("D,%7d,UX  , 0.000000000E+00, 0.000000000E+00\n"
                 "D,%7d,UY  , 0.000000000E+00, 0.000000000E+00\n"
                 "D,%7d,UZ  ,%16.9E, 0.000000000E+00\n")
        lines = []
        for n in range(1, p["ConstrainedNodes"] + 1):
            lines.append(d_fmt % (n, n, n, -1.0e-3 * (1.0 + 0.5 * _hash_unit(7 * n))))
            if len(lines) >= CHUNK_LINES // 4:
                f.write("".join(lines))
                lines = []
        f.write("".join(lines))

        # Pressures on the south cap triangles and the quadrilateral bands next to them.
        first_loaded = n_elems - p["LoadedElements"] + 1
        sfe_fmt = ("SFE,%9d,   1,PRES, 0,R5.0\n%16.9E%16.9E%16.9E%16.9E\n"
                   "  0.00000000      0.00000000      0.00000000      0.00000000    \n"
                   "  0.00000000      0.00000000      0.00000000      0.00000000    \n")
        lines = []
        for el in range(first_loaded, first_loaded + p["LoadedElements"]):
            base = 1.0e6 * (1.0 + 0.25 * _hash_unit(11 * el))
            lines.append(sfe_fmt % (el, base, base * 1.01, base * 0.99, base * 1.02))
            if len(lines) >= CHUNK_LINES // 4:
                f.write("".join(lines))
                lines = []
        f.write("".join(lines))
        f.write("/GO\nFINISH\n")
    os.replace(tmp, path)
    return p


def plan_volume(target_elements):
    """Parameters and counts of the volume model of about `target_elements` bricks."""
    n = max(1, round(target_elements ** (1.0 / 3.0)))
    return {"side": n, "NodeCount": (n + 1) ** 3, "ElementCount": n ** 3,
            "SkinFaces": 6 * n * n, "InteriorFaces": 6 * n ** 3 - 6 * n * n,
            "SkinNodes": (n + 1) ** 3 - (n - 1) ** 3, "TriangleCount": 12 * n * n,
            "ConstrainedNodes": (n + 1) ** 2, "LoadedElements": n * n}


def write_volume_model(path, target_elements):
    p = plan_volume(target_elements)
    n = p["side"]
    m = n + 1
    h = 10.0 / n

    def number(i, j, k):
        return 1 + i + m * j + m * m * k

    tmp = path + ".part"
    with open(tmp, "w", encoding="ascii", newline="\n", buffering=1 << 22) as f:
        f.write("/COM,ANSYS RELEASE Release 19.1      BUILD 19.1      UP20180418       09:51:26\n"
                "/PREP7\n/NOPR\n/TITLE,cdb2bem benchmark cube of %d bricks\n"
                "*IF,_CDRDOFF,EQ,1,THEN     !if solid model was read in\n"
                "_CDRDOFF=             !reset flag, numoffs already performed\n"
                "*ELSE              !offset database for the following FE model\n"
                "NUMOFF,NODE,%9d\nNUMOFF,ELEM,%9d\nNUMOFF,TYPE,        1\n*ENDIF\n"
                "DOF,DELETE\nET,        1,185\n"
                "NBLOCK,6,SOLID,%10d,%10d\n(3i9,6e21.13e3)\n"
                % (p["ElementCount"], p["NodeCount"], p["ElementCount"], p["NodeCount"],
                   p["NodeCount"]))
        node_fmt = "%9d        0        0%20.13E%20.13E%20.13E\n"
        for k in range(m):
            lines = []
            for j in range(m):
                for i in range(m):
                    nb = number(i, j, k)
                    xyz = [i * h, j * h, k * h]
                    for axis, index in enumerate((i, j, k)):
                        if 0 < index < n:  # inner planes only: the faces stay flat
                            xyz[axis] += 0.1 * h * _hash_unit(3 * nb + axis)
                    lines.append(node_fmt % (nb, xyz[0], xyz[1], xyz[2]))
            f.write(_exp3("".join(lines)))
        f.write("N,R5.3,LOC,       -1,\nEBLOCK,19,SOLID,%10d,%10d\n(19i9)\n"
                % (p["ElementCount"], p["ElementCount"]))
        elem_fmt = ("        1        1        1        1        0        0        0        0"
                    "        8        0" + "%9d" * 9 + "\n")
        e = 1
        for k in range(n):
            lines = []
            for j in range(n):
                for i in range(n):
                    lines.append(elem_fmt % (
                        e, number(i, j, k), number(i + 1, j, k), number(i + 1, j + 1, k),
                        number(i, j + 1, k), number(i, j, k + 1), number(i + 1, j, k + 1),
                        number(i + 1, j + 1, k + 1), number(i, j + 1, k + 1)))
                    e += 1
            f.write("".join(lines))
        f.write("       -1\n")
        d_fmt = ("D,%7d,UX  , 0.000000000E+00, 0.000000000E+00\n"
                 "D,%7d,UY  , 0.000000000E+00, 0.000000000E+00\n"
                 "D,%7d,UZ  , 0.000000000E+00, 0.000000000E+00\n")
        f.write("".join(d_fmt % ((number(i, j, 0),) * 3) for j in range(m) for i in range(m)))
        sfe_fmt = ("SFE,%9d,   6,PRES, 0,R5.0\n%16.9E%16.9E%16.9E%16.9E\n"
                   "  0.00000000      0.00000000      0.00000000      0.00000000    \n"
                   "  0.00000000      0.00000000      0.00000000      0.00000000    \n")
        first_top = n * n * (n - 1) + 1
        f.write("".join(sfe_fmt % (el, 1.0e6, 1.0e6, 1.0e6, 1.0e6)
                        for el in range(first_top, first_top + n * n)))
        f.write("/GO\nFINISH\n")
    os.replace(tmp, path)
    return p


def main(argv):
    if len(argv) > 1 and argv[1] == "--volume":
        if len(argv) not in (3, 4) or not argv[2].isdigit():
            sys.stderr.write(__doc__)
            return 2
        target = int(argv[2])
        counts = write_volume_model(argv[3], target) if len(argv) == 4 else plan_volume(target)
        print(json.dumps(counts, indent=1))
        return 0
    if len(argv) > 1 and argv[1] in ("-h", "--help"):
        sys.stdout.write(__doc__)
        return 0
    width = 9
    if len(argv) > 1 and argv[1] == "--i10":
        width = 10
        argv = argv[1:]
    if len(argv) not in (2, 3) or not argv[1].isdigit():
        sys.stderr.write(__doc__)
        return 2
    target = int(argv[1])
    counts = write_model(argv[2], target, width) if len(argv) == 3 else plan(target)
    print(json.dumps(counts, indent=1))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
