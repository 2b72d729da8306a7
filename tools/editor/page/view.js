// One picture on a canvas with its points and mesh drawn over it, zoom
// centred on the cursor and panning. Picture pixel (x, y) covers the square
// from (x, y) to (x + 1, y + 1) in picture space; a point stands at its
// pixel's centre.
import { vertices } from './geometry.js';

const HIT_RADIUS = 7;  // screen pixels

export class PictureView {
  constructor(canvas, side, editor) {
    this.canvas = canvas;
    this.side = side;
    this.editor = editor;
    this.image = null;
    this.size = { width: 1, height: 1 };
    this.scale = 1;
    this.offsetX = 0;
    this.offsetY = 0;
    this.drag = null;
    this.spaceHeld = false;
    canvas.addEventListener('pointerdown', (e) => this.onDown(e));
    canvas.addEventListener('pointermove', (e) => this.onMove(e));
    canvas.addEventListener('pointerup', (e) => this.onUp(e));
    canvas.addEventListener('pointerleave', () => this.editor.setHover(null));
    canvas.addEventListener('wheel', (e) => this.onWheel(e), { passive: false });
    canvas.addEventListener('auxclick', (e) => e.preventDefault());
    new ResizeObserver(() => this.fit()).observe(canvas);
  }

  setImage(image, size) {
    this.image = image;
    this.size = size;
    this.fit();
  }

  // Shows the whole picture, centred.
  fit() {
    const rect = this.canvas.getBoundingClientRect();
    this.canvas.width = Math.max(1, Math.round(rect.width));
    this.canvas.height = Math.max(1, Math.round(rect.height));
    this.scale = Math.min(this.canvas.width / this.size.width, this.canvas.height / this.size.height);
    this.offsetX = (this.canvas.width - this.size.width * this.scale) / 2;
    this.offsetY = (this.canvas.height - this.size.height * this.scale) / 2;
    this.draw();
  }

  // Canvas position of an event (canvas pixels equal CSS pixels here).
  eventPoint(e) {
    const rect = this.canvas.getBoundingClientRect();
    return [e.clientX - rect.left, e.clientY - rect.top];
  }
  toPixel([cx, cy]) {
    return [Math.floor((cx - this.offsetX) / this.scale), Math.floor((cy - this.offsetY) / this.scale)];
  }
  toScreen([x, y]) {
    return [(x + 0.5) * this.scale + this.offsetX, (y + 0.5) * this.scale + this.offsetY];
  }
  inside([x, y]) { return x >= 0 && y >= 0 && x < this.size.width && y < this.size.height; }

  pointAt(screen) {
    const points = this.editor.points;
    let best = -1, bestDistance = HIT_RADIUS;
    for (let i = 0; i < points.length; i++) {
      const [px, py] = this.toScreen(this.coords(points[i]));
      const d = Math.hypot(px - screen[0], py - screen[1]);
      if (d <= bestDistance) { best = i; bestDistance = d; }
    }
    return best;
  }
  coords(p) { return this.side === 'from' ? [p.sx, p.sy] : [p.dx, p.dy]; }

  onDown(e) {
    this.canvas.focus();
    const screen = this.eventPoint(e);
    if (e.button === 1 || (e.button === 0 && this.spaceHeld)) {
      e.preventDefault();
      this.drag = { kind: 'pan', start: screen, offset: [this.offsetX, this.offsetY] };
      this.canvas.setPointerCapture(e.pointerId);
      return;
    }
    if (e.button !== 0) return;
    const hit = this.pointAt(screen);
    if (hit >= 0) {
      this.editor.select(hit, this.side);
      this.drag = { kind: 'point', index: hit, moved: false, before: null };
      this.canvas.setPointerCapture(e.pointerId);
      return;
    }
    const pixel = this.toPixel(screen);
    if (this.inside(pixel)) this.editor.addPair(pixel, this.side);
  }

  onMove(e) {
    const screen = this.eventPoint(e);
    if (!this.drag) {
      const hit = this.pointAt(screen);
      this.editor.setHover(hit >= 0 ? hit : null);
      return;
    }
    if (this.drag.kind === 'pan') {
      this.offsetX = this.drag.offset[0] + screen[0] - this.drag.start[0];
      this.offsetY = this.drag.offset[1] + screen[1] - this.drag.start[1];
      this.draw();
      return;
    }
    const pixel = this.toPixel(screen);
    const x = Math.min(Math.max(pixel[0], 0), this.size.width - 1);
    const y = Math.min(Math.max(pixel[1], 0), this.size.height - 1);
    if (!this.drag.moved) this.editor.beginChange();
    this.drag.moved = true;
    this.editor.movePoint(this.drag.index, this.side, x, y, true);
  }

  onUp(e) {
    if (this.drag && this.drag.kind === 'point' && this.drag.moved) this.editor.endDrag();
    this.drag = null;
    if (this.canvas.hasPointerCapture(e.pointerId)) this.canvas.releasePointerCapture(e.pointerId);
  }

  onWheel(e) {
    e.preventDefault();
    const [cx, cy] = this.eventPoint(e);
    const factor = Math.pow(1.0015, -e.deltaY);
    const scale = Math.min(Math.max(this.scale * factor, 0.05), 64);
    // The picture point under the cursor stays under it.
    this.offsetX = cx - ((cx - this.offsetX) * scale) / this.scale;
    this.offsetY = cy - ((cy - this.offsetY) * scale) / this.scale;
    this.scale = scale;
    this.canvas.dataset.scale = String(scale);
    this.draw();
  }

  draw() {
    const g = this.canvas.getContext('2d');
    g.setTransform(1, 0, 0, 1, 0, 0);
    g.fillStyle = '#111';
    g.fillRect(0, 0, this.canvas.width, this.canvas.height);
    if (!this.image) return;
    g.imageSmoothingEnabled = this.scale < 1;
    g.drawImage(this.image, this.offsetX, this.offsetY, this.size.width * this.scale, this.size.height * this.scale);
    const ed = this.editor;
    const v = vertices(ed.points, this.side, this.size).map((p) => this.toScreen(p));
    const folded = new Set(ed.report.folded);
    let drawn = 0;
    ed.report.triangles.forEach((t, i) => {
      if (t.some((k) => k >= v.length)) return;
      g.beginPath();
      g.moveTo(...v[t[0]]);
      g.lineTo(...v[t[1]]);
      g.lineTo(...v[t[2]]);
      g.closePath();
      if (folded.has(i)) {
        g.fillStyle = 'rgba(255, 40, 40, 0.45)';
        g.fill();
        g.strokeStyle = '#ff3030';
        g.lineWidth = 2;
      } else {
        g.strokeStyle = 'rgba(80, 220, 255, 0.6)';
        g.lineWidth = 1;
      }
      g.stroke();
      drawn++;
    });
    this.canvas.dataset.triangles = String(drawn);
    const problems = new Map(ed.report.problems.filter((p) => p.point >= 0).map((p) => [p.point, p.text]));
    ed.points.forEach((p, i) => {
      const [x, y] = this.toScreen(this.coords(p));
      const selected = i === ed.selected, hovered = i === ed.hover;
      g.beginPath();
      g.arc(x, y, selected || hovered ? 6 : 4, 0, 2 * Math.PI);
      g.fillStyle = problems.has(i) ? '#ff3030' : selected ? '#ffe040' : hovered ? '#ffffff' : p.landmark ? '#60ff90' : '#ff9020';
      g.fill();
      g.strokeStyle = '#000';
      g.lineWidth = 1;
      g.stroke();
      if (selected && ed.selectedSide === this.side) {
        g.beginPath();
        g.arc(x, y, 10, 0, 2 * Math.PI);
        g.strokeStyle = '#ffe040';
        g.stroke();
      }
      if (problems.has(i)) {
        g.font = '12px system-ui, sans-serif';
        const text = problems.get(i);
        const width = g.measureText(text).width;
        g.fillStyle = 'rgba(0, 0, 0, 0.75)';
        g.fillRect(x + 9, y - 8, width + 8, 17);
        g.fillStyle = '#ff7070';
        g.fillText(text, x + 13, y + 5);
      }
    });
  }
}
