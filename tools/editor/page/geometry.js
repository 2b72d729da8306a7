// Mesh geometry on the page: the corners of a picture as mesh vertices and
// the predicted partner of a new point.

// Vertex positions of one side: 0..3 the corners (top-left, top-right,
// bottom-left, bottom-right), then the points.
export function vertices(points, side, size) {
  const w = size.width - 1, h = size.height - 1;
  const list = [[0, 0], [w, 0], [0, h], [w, h]];
  for (const p of points) list.push(side === 'from' ? [p.sx, p.sy] : [p.dx, p.dy]);
  return list;
}

function barycentric(p, a, b, c) {
  const d = (b[1] - c[1]) * (a[0] - c[0]) + (c[0] - b[0]) * (a[1] - c[1]);
  if (d === 0) return null;
  const l1 = ((b[1] - c[1]) * (p[0] - c[0]) + (c[0] - b[0]) * (p[1] - c[1])) / d;
  const l2 = ((c[1] - a[1]) * (p[0] - c[0]) + (a[0] - c[0]) * (p[1] - c[1])) / d;
  return [l1, l2, 1 - l1 - l2];
}

// Where a point added at `at` on `side` belongs in the other picture: the
// same place in the surrounding triangle, or the same place in the picture
// when there is no mesh.
export function predictPartner(at, side, points, triangles, sizes) {
  const other = side === 'from' ? 'to' : 'from';
  const here = vertices(points, side, sizes[side]);
  const there = vertices(points, other, sizes[other]);
  for (const t of triangles || []) {
    const l = barycentric(at, here[t[0]], here[t[1]], here[t[2]]);
    if (!l || l.some((v) => v < -1e-9)) continue;
    const x = l[0] * there[t[0]][0] + l[1] * there[t[1]][0] + l[2] * there[t[2]][0];
    const y = l[0] * there[t[0]][1] + l[1] * there[t[1]][1] + l[2] * there[t[2]][1];
    return clampToPicture([Math.round(x), Math.round(y)], sizes[other]);
  }
  const sx = sizes[other].width / sizes[side].width, sy = sizes[other].height / sizes[side].height;
  return clampToPicture([Math.round(at[0] * sx), Math.round(at[1] * sy)], sizes[other]);
}

export function clampToPicture([x, y], size) {
  return [Math.min(Math.max(x, 0), size.width - 1), Math.min(Math.max(y, 0), size.height - 1)];
}
