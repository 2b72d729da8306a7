// The point editor: the points, their history, the two picture views, the
// live preview, saving, exporting and face landmarks.
import { api } from './api.js';
import { History, copyPoints } from './history.js';
import { predictPartner } from './geometry.js';
import { PictureView } from './view.js';

const $ = (id) => document.getElementById(id);
const COARSE_BLOCK = 8;
const SETTLE_MS = 250;  // still for this long: the preview is drawn at block 1

function fromServer(list, lines) {
  return list.map((a, i) => ({
    sx: a[0], sy: a[1], dx: a[2], dy: a[3], w: a.length > 4 ? a[4] : null, line: lines ? lines[i] || 0 : 0,
    landmark: false,
  }));
}
function toServer(points) {
  return points.map((p) => (p.w === null ? [p.sx, p.sy, p.dx, p.dy] : [p.sx, p.sy, p.dx, p.dy, p.w]));
}
const pointsKey = (points) => JSON.stringify(toServer(points));

class Editor {
  constructor() {
    this.points = [];
    this.report = { triangles: [], folded: [], problems: [] };
    this.selected = null;
    this.selectedSide = 'from';
    this.hover = null;
    this.history = new History();
    this.savedKey = '[]';
    this.version = 0;        // counts edits; a server answer for an older one is ignored
    this.syncing = false;
    this.syncAgain = false;
    this.dragBefore = null;
    this.previewAbort = null;
    this.settleTimer = null;
    this.playing = null;
    this.views = {
      from: new PictureView($('from-canvas'), 'from', this),
      to: new PictureView($('to-canvas'), 'to', this),
    };
  }

  async start() {
    const session = (await api.session()).data;
    this.session = session;
    this.sizes = { from: session.from.size, to: session.to.size };
    $('file-name').textContent = session.pointsFile;
    $('from-title').textContent = `from: ${session.from.name} (${session.from.size.width}×${session.from.size.height})`;
    $('to-title').textContent = `to: ${session.to.name} (${session.to.size.width}×${session.to.size.height})`;
    if (!session.landmarks) {
      $('faces').disabled = true;
      $('faces').title = session.landmarksNote;
    }
    const [from, to, points] = await Promise.all([api.picture('from'), api.picture('to'), api.points()]);
    this.views.from.setImage(from, this.sizes.from);
    this.views.to.setImage(to, this.sizes.to);
    this.points = fromServer(points.data.points, points.data.lines);
    this.savedKey = session.pointsFileExists ? pointsKey(this.points) : '[]';
    this.applyReport(points.data);
    this.bindControls();
    this.refresh();
    this.requestPreview(false);
    document.body.dataset.ready = '1';
  }

  // ---- editing ----
  beginChange() { this.dragBefore = copyPoints(this.points); }
  commit(before) {
    this.history.record(before);
    this.changed();
  }
  changed(coarse = false) {
    this.version++;
    this.refresh();
    this.sync(coarse);
  }

  addPair(pixel, side) {
    const before = copyPoints(this.points);
    const partner = predictPartner(pixel, side, this.points, this.report.triangles, this.sizes);
    const [s, d] = side === 'from' ? [pixel, partner] : [partner, pixel];
    this.points.push({ sx: s[0], sy: s[1], dx: d[0], dy: d[1], w: null, line: 0, landmark: false });
    this.selected = this.points.length - 1;
    this.selectedSide = side === 'from' ? 'to' : 'from';  // the partner is ready to be dragged
    this.commit(before);
  }

  movePoint(index, side, x, y, dragging) {
    const p = this.points[index];
    if (side === 'from') { p.sx = x; p.sy = y; } else { p.dx = x; p.dy = y; }
    if (dragging) this.changed(true);
  }

  endDrag() {
    if (this.dragBefore) this.commit(this.dragBefore);
    this.dragBefore = null;
  }

  nudge(dx, dy) {
    if (this.selected === null) return;
    const before = copyPoints(this.points);
    const p = this.points[this.selected];
    const size = this.sizes[this.selectedSide];
    const [x, y] = this.selectedSide === 'from' ? [p.sx, p.sy] : [p.dx, p.dy];
    const nx = Math.min(Math.max(x + dx, 0), size.width - 1), ny = Math.min(Math.max(y + dy, 0), size.height - 1);
    this.movePoint(this.selected, this.selectedSide, nx, ny, false);
    this.commit(before);
  }

  deleteSelected() {
    if (this.selected === null) return;
    const before = copyPoints(this.points);
    this.points.splice(this.selected, 1);
    this.selected = null;
    this.commit(before);
  }

  setWeight(value) {
    if (this.selected === null) return;
    const before = copyPoints(this.points);
    this.points[this.selected].w = value;
    this.commit(before);
  }

  undo() { this.restore(this.history.undo(copyPoints(this.points))); }
  redo() { this.restore(this.history.redo(copyPoints(this.points))); }
  restore(points) {
    if (!points) return;
    this.points = points;
    if (this.selected !== null && this.selected >= points.length) this.selected = null;
    this.changed();
  }

  select(index, side) {
    this.selected = index;
    this.selectedSide = side;
    this.refresh();
  }
  setHover(index) {
    if (this.hover === index) return;
    this.hover = index;
    this.drawViews();
  }

  // ---- server ----
  async sync(coarse) {
    if (this.syncing) { this.syncAgain = true; return; }
    this.syncing = true;
    const version = this.version;
    try {
      const answer = await api.putPoints(toServer(this.points), this.points.map((p) => p.line));
      if (version === this.version) {
        if (answer.status === 400) this.say(answer.data.error);
        this.applyReport(answer.data);
        this.refresh();
        if (answer.ok) this.requestPreview(coarse);
      }
    } catch (e) {
      this.say(`the server did not answer: ${e.message}`);
    } finally {
      this.syncing = false;
      if (this.syncAgain || version !== this.version) {
        this.syncAgain = false;
        this.sync(coarse);
      }
    }
  }

  applyReport(data) {
    this.report = {
      triangles: data.triangles || [], folded: data.folded || [], problems: data.problems || [],
    };
    const general = this.report.problems.filter((p) => p.point < 0);
    this.say(general.length ? general[0].text : '');
  }

  async save() {
    const answer = await api.save();
    if (!answer.ok) { this.say(answer.data.error); return false; }
    const landmarks = this.points.map((p) => p.landmark);
    this.points = fromServer(answer.data.points, answer.data.lines);
    this.points.forEach((p, i) => { p.landmark = !!landmarks[i]; });
    this.savedKey = pointsKey(this.points);
    this.say(`saved ${answer.data.saved}`);
    this.refresh();
    return true;
  }

  async detectFaces() {
    const kept = this.points.filter((p) => !p.landmark);
    this.say('looking for faces…');
    const answer = await api.landmarks(toServer(kept));
    if (!answer.ok) { this.say(answer.data.error); return; }
    const before = copyPoints(this.points);
    const found = fromServer(answer.data.points, null).map((p) => ({ ...p, landmark: true }));
    this.points = kept.concat(found);
    this.selected = null;
    this.commit(before);
    this.say(answer.data.note || `${found.length} face points added`);
  }

  // ---- preview ----
  previewParams(coarse) {
    return {
      frame: $('time').value, frames: Number($('time').max) + 1, block: coarse ? COARSE_BLOCK : 1,
      bilinear: $('bilinear').checked ? 1 : 0, weights: $('weights').value,
    };
  }

  // Asks for the latest preview only: a request still running is aborted
  // (and the server drops one still waiting). A coarse one is followed by
  // the full one once nothing has moved for a moment.
  async requestPreview(coarse) {
    clearTimeout(this.settleTimer);
    if (coarse) this.settleTimer = setTimeout(() => this.requestPreview(false), SETTLE_MS);
    if (this.previewAbort) this.previewAbort.abort();
    const abort = new AbortController();
    this.previewAbort = abort;
    const params = this.previewParams(coarse);
    const img = $('preview');
    img.dataset.state = 'loading';
    const result = await api.preview(params, abort.signal);
    if (abort !== this.previewAbort || !result) return;
    if (result.error) { this.say(result.error); img.dataset.state = 'error'; return; }
    const old = img.src;
    img.src = URL.createObjectURL(result.blob);
    await img.decode().catch(() => {});
    if (old) URL.revokeObjectURL(old);
    if (abort !== this.previewAbort) return;
    img.dataset.frame = String(params.frame);
    img.dataset.block = String(params.block);
    img.dataset.bilinear = String(params.bilinear);
    img.dataset.state = 'ready';
  }

  togglePlay() {
    if (this.playing) {
      clearInterval(this.playing);
      this.playing = null;
      $('play').textContent = '▶';
      this.requestPreview(false);
      return;
    }
    $('play').textContent = '⏸';
    this.playing = setInterval(() => {
      const time = $('time');
      time.value = String((Number(time.value) + 1) % (Number(time.max) + 1));
      this.showFrameLabel();
      this.requestPreview(true);
    }, 120);
  }

  showFrameLabel() { $('frame-label').textContent = `${$('time').value} / ${$('time').max}`; }

  // ---- export ----
  async startExport() {
    const settings = {
      kind: $('export-kind').value, frames: Number($('export-frames').value), fps: Number($('export-fps').value),
      bilinear: $('bilinear').checked, weights: $('weights').value,
    };
    const answer = await api.startExport(settings);
    if (!answer.ok) { $('export-status').textContent = answer.data.error; return; }
    this.followExport();
  }
  async followExport() {
    const status = (await api.exportStatus()).data;
    $('export-progress').max = Math.max(1, status.total);
    $('export-progress').value = status.done;
    const words = { running: `rendering ${status.done} of ${status.total}…`, done: `wrote ${status.output}`,
      failed: `failed: ${status.message}`, cancelled: 'cancelled', idle: '' };
    $('export-status').textContent = words[status.state];
    $('export-status').dataset.state = status.state;
    if (status.state === 'running') setTimeout(() => this.followExport(), 200);
  }

  // ---- showing ----
  say(text) { $('message').textContent = text || ''; }

  drawViews() {
    this.views.from.draw();
    this.views.to.draw();
  }

  refresh() {
    this.drawViews();
    $('pair-count').textContent = String(this.points.length);
    $('triangle-count').textContent = String(this.report.triangles.length);
    const folded = this.report.folded.length;
    $('folded-count').textContent = `${folded} turned over`;
    $('folded-count').className = folded ? 'bad' : 'ok';
    const unsaved = pointsKey(this.points) !== this.savedKey;
    $('unsaved').hidden = !unsaved;
    document.title = `${unsaved ? '● ' : ''}quorvane edit`;
    $('undo').disabled = !this.history.canUndo;
    $('redo').disabled = !this.history.canRedo;
    $('delete').disabled = this.selected === null;
    const weight = $('weight');
    weight.disabled = this.selected === null;
    if (document.activeElement !== weight)
      weight.value = this.selected === null || this.points[this.selected].w === null ? '' : String(this.points[this.selected].w);
  }

  get unsaved() { return pointsKey(this.points) !== this.savedKey; }

  bindControls() {
    $('save').onclick = () => this.save();
    $('undo').onclick = () => this.undo();
    $('redo').onclick = () => this.redo();
    $('delete').onclick = () => this.deleteSelected();
    $('faces').onclick = () => this.detectFaces();
    $('play').onclick = () => this.togglePlay();
    $('time').oninput = () => { this.showFrameLabel(); this.requestPreview(true); };
    $('bilinear').onchange = () => this.requestPreview(false);
    $('weights').onchange = () => this.requestPreview(false);
    $('weight').onchange = () => {
      const text = $('weight').value.trim();
      const value = text === '' ? null : Number(text);
      if (value !== null && !(value > 0 && value <= 1000)) { this.say('a weight is above 0 and at most 1000'); return; }
      this.setWeight(value);
    };
    $('export-open').onclick = () => $('export-dialog').showModal();
    $('export-close').onclick = () => $('export-dialog').close();
    $('export-start').onclick = () => this.startExport();
    $('export-cancel').onclick = async () => { await api.cancelExport(); this.followExport(); };
    $('export-frames').onchange = () => {
      const frames = Math.min(Math.max(Math.round(Number($('export-frames').value)) || 1, 1), 32767);
      $('time').max = String(frames - 1);
      this.showFrameLabel();
      this.requestPreview(false);
    };
    window.addEventListener('beforeunload', (e) => {
      if (!this.unsaved) return;
      e.preventDefault();
      e.returnValue = '';
    });
    window.addEventListener('keydown', (e) => this.onKey(e));
    window.addEventListener('keyup', (e) => {
      if (e.code === 'Space') for (const v of Object.values(this.views)) v.spaceHeld = false;
    });
  }

  onKey(e) {
    if (e.target instanceof HTMLInputElement || e.target instanceof HTMLSelectElement) return;
    const ctrl = e.ctrlKey || e.metaKey;
    const key = e.key.toLowerCase();
    if (ctrl && key === 's') { e.preventDefault(); this.save(); return; }
    if (ctrl && (key === 'y' || (key === 'z' && e.shiftKey))) { e.preventDefault(); this.redo(); return; }
    if (ctrl && key === 'z') { e.preventDefault(); this.undo(); return; }
    if (e.code === 'Space') {
      e.preventDefault();
      for (const v of Object.values(this.views)) v.spaceHeld = true;
      return;
    }
    if (e.key === 'Delete' || e.key === 'Backspace') { e.preventDefault(); this.deleteSelected(); return; }
    const step = e.shiftKey ? 10 : 1;
    const moves = { ArrowLeft: [-step, 0], ArrowRight: [step, 0], ArrowUp: [0, -step], ArrowDown: [0, step] };
    if (moves[e.key]) { e.preventDefault(); this.nudge(...moves[e.key]); }
  }
}

const editor = new Editor();
window.quorvaneEditor = editor;  // for the browser tests
editor.start().catch((e) => { document.getElementById('message').textContent = `cannot start: ${e.message}`; });
