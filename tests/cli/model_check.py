#!/usr/bin/env python3
"""Reads sprig-render's 3D models back with a reader of its own and checks them against the
figure that --info describes: every vertex and strip there, lattice points exactly on the
lattice, PLY equal to OBJ, and tubes that are closed, outward-facing solids of the volume their
strips make.

Usage: model_check.py SPRIG_RENDER DEMOS_DIR WORK_DIR
"""

import json
import math
import struct
import subprocess
import sys
from collections import Counter
from pathlib import Path

RENDER, DEMOS, WORK = sys.argv[1], Path(sys.argv[2]), Path(sys.argv[3])
WORK.mkdir(parents=True, exist_ok=True)
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
    return condition


def render(*arguments):
    result = subprocess.run([RENDER, *map(str, arguments)], capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"sprig-render {' '.join(map(str, arguments))}: {result.stderr}")
    return result.stdout


def info(demo, passes):
    return json.loads(render("--info", DEMOS / demo, "--iterations", passes))


def read_obj(path):
    """Vertices as their text and as numbers, line and point records, triangles (1-based)."""
    texts, vertices, lines, points, faces = [], [], [], [], []
    for line in path.read_text().splitlines():
        fields = line.split()
        if not fields or fields[0] in ("#", "o"):
            continue
        if fields[0] == "v":
            texts.append(fields[1:])
            vertices.append(tuple(float(f) for f in fields[1:]))
        elif fields[0] == "l":
            lines.append([int(f) for f in fields[1:]])
        elif fields[0] == "p":
            points.append([int(f) for f in fields[1:]])
        elif fields[0] == "f":
            faces.append(tuple(int(f) for f in fields[1:]))
        else:
            check(False, f"{path.name}: unknown record {fields[0]!r}")
    return texts, vertices, lines, points, faces


def read_ply(path):
    data = path.read_bytes()
    end = data.index(b"end_header\n") + len(b"end_header\n")
    header = data[:end].decode().splitlines()
    check(header[:2] == ["ply", "format binary_little_endian 1.0"], f"{path.name}: header")
    counts = {f.split()[1]: int(f.split()[2]) for f in header if f.startswith("element ")}
    at = end
    vertices = list(struct.iter_unpack("<3d", data[at:at + 24 * counts["vertex"]]))
    at += 24 * counts["vertex"]
    edges = list(struct.iter_unpack("<2i", data[at:at + 8 * counts.get("edge", 0)]))
    at += 8 * counts.get("edge", 0)
    faces = []
    for _ in range(counts.get("face", 0)):
        n = data[at]
        faces.append(struct.unpack_from(f"<{n}i", data, at + 1))
        at += 1 + 4 * n
    check(at == len(data), f"{path.name}: {len(data) - at} bytes after the last element")
    return vertices, edges, faces


def polylines_hilbert():
    """Hilbert Curve 3D at 3 passes: one polyline through 512 lattice points, a step apart."""
    figure = info("3D/Hilbert Curve 3D.lsd", 3)
    obj = WORK / "hilbert.obj"
    render(DEMOS / "3D/Hilbert Curve 3D.lsd", "--iterations", 3, "-o", obj)
    texts, vertices, lines, points, _ = read_obj(obj)
    check(len(vertices) == figure["vertices"] == 512, f"hilbert: {len(vertices)} vertices")
    check(lines == [list(range(1, 513))] and not points, "hilbert: not one polyline 1..512")
    check(all(t.lstrip("-").isdigit() and int(t) % 10 == 0 for v in texts for t in v),
          "hilbert: a coordinate off the lattice of step 10")
    steps = [sum(abs(a - b) for a, b in zip(vertices[i], vertices[i + 1]))
             for i in range(len(vertices) - 1)]
    check(len(steps) == figure["vertices"] - figure["strips"] and set(steps) == {10},
          "hilbert: segments are not the figure's, a step each")


def polylines_plant():
    """Plant B at 5: every vertex once, in strips as the turtle made them; PLY equal to OBJ."""
    figure = info("Plants/Plant B.lsd", 5)
    obj, ply = WORK / "plant.obj", WORK / "plant.ply"
    render(DEMOS / "Plants/Plant B.lsd", "--iterations", 5, "-o", obj)
    render(DEMOS / "Plants/Plant B.lsd", "--iterations", 5, "-o", ply)
    _, vertices, lines, points, _ = read_obj(obj)
    check(len(vertices) == figure["vertices"], f"plant: {len(vertices)} vertices")
    check(len(lines) + len(points) == figure["strips"],
          f"plant: {len(lines)} lines + {len(points)} points, not {figure['strips']} strips")
    order = [i for record in sorted(lines + points) for i in record]
    check(order == list(range(1, len(vertices) + 1)), "plant: strips skip or repeat vertices")
    box = [f(v[axis] for v in vertices) for axis in range(3) for f in (min, max)]
    check(all(math.isclose(a, b, abs_tol=1e-6) for a, b in zip(box, figure["box"])),
          f"plant: box {box} is not {figure['box']}")
    ply_vertices, edges, _ = read_ply(ply)
    check(len(ply_vertices) == len(vertices)
          and all(math.isclose(a, b, abs_tol=1e-6) for p, q in zip(ply_vertices, vertices)
                  for a, b in zip(p, q)), "plant: PLY vertices differ from OBJ's")
    obj_edges = {(r[k] - 1, r[k + 1] - 1) for r in lines for k in range(len(r) - 1)}
    check(len(edges) == figure["vertices"] - figure["strips"] and set(edges) == obj_edges,
          "plant: PLY edges differ from OBJ's segments")


def distance(point, segment):
    a, b = segment
    ab = [q - p for p, q in zip(a, b)]
    t = sum((x - p) * d for x, p, d in zip(point, a, ab)) / sum(d * d for d in ab)
    nearest = [p + max(0.0, min(1.0, t)) * d for p, d in zip(a, ab)]
    return math.dist(point, nearest)


def tubes(name, figure, radius, path_length):
    """Tubes: each edge once each way (closed, consistently turned), outward, and the volume
    of an octagon of that radius along the strips, with no vertex farther than two radii (a
    mitre) from the strips."""
    obj, ply, strips = WORK / "tubes.obj", WORK / "tubes.ply", WORK / "strips.obj"
    render(*figure, "--tube", radius, "-o", obj)
    render(*figure, "--tube", radius, "-o", ply)
    render(*figure, "-o", strips)
    _, points, lines, _, _ = read_obj(strips)
    segments = [(points[r[k] - 1], points[r[k + 1] - 1]) for r in lines for k in range(len(r) - 1)]
    _, vertices, _, _, faces = read_obj(obj)
    reach = max(min(distance(v, s) for s in segments) for v in vertices)
    check(radius * (1 - 1e-6) <= reach <= 2 * radius * (1 + 1e-6),
          f"{name}: tube vertices up to {reach} off the strips")
    edges = Counter((f[k] , f[(k + 1) % 3]) for f in faces for k in range(3))
    check(all(n == 1 and edges[(b, a)] == 1 for (a, b), n in edges.items()),
          f"{name}: the tubes are not closed")
    volume = 0.0
    for a, b, c in faces:
        (ax, ay, az), (bx, by, bz), (cx, cy, cz) = vertices[a - 1], vertices[b - 1], vertices[c - 1]
        volume += (ax * (by * cz - bz * cy) - ay * (bx * cz - bz * cx) + az * (bx * cy - by * cx)) / 6
    octagon = 2 * math.sqrt(2) * radius * radius
    check(math.isclose(volume, octagon * path_length, rel_tol=1e-6),
          f"{name}: volume {volume}, not {octagon * path_length}")
    ply_vertices, _, ply_faces = read_ply(ply)
    check(len(ply_vertices) == len(vertices) and [tuple(i + 1 for i in f) for f in ply_faces] == faces,
          f"{name}: PLY tubes differ from OBJ's")


cases = [
    polylines_hilbert,
    polylines_plant,
    # Mitred at every turn of 90 degrees.
    lambda: tubes("hilbert", [DEMOS / "3D/Hilbert Curve 3D.lsd", "--iterations", 2], 2, 63 * 10),
    # Branches of one step each, many strips.
    lambda: tubes("plant", [DEMOS / "Plants/Plant B.lsd", "--iterations", 2], 1,
                  (lambda i: (i["vertices"] - i["strips"]) * 10)(info("Plants/Plant B.lsd", 2))),
    # Turns sharper than 120 degrees end one tube and start the next.
    lambda: tubes("sharp", ["--axiom", "F+F-F", "--angle", 150], 1.5, 30),
]
failed = 0
for case in cases:
    before = len(failures)
    case()
    failed += len(failures) > before
for failure in failures:
    print("FAIL:", failure)
print(f"{len(cases) - failed} passed, {failed} failed")
sys.exit(1 if failures else 0)
