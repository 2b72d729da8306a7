// Shared by the editor's browser and server tests: test pictures, a running
// `quorvane edit`, and a Debian chromium driven by playwright-core.
import { spawn } from 'node:child_process';
import { mkdtempSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
export const quorvane = process.env.QUORVANE_BIN || resolve(here, '../../build/quorvane');
export const chromiumPath = process.env.QUORVANE_CHROMIUM || '/usr/bin/chromium';

export function tempDir() { return mkdtempSync(join(tmpdir(), 'quorvane-edit-')); }

// A binary PPM picture, which the command reads like any other; `colour`
// gives [r, g, b] of pixel (x, y).
export function writePicture(path, width, height, colour) {
  const header = Buffer.from(`P6\n${width} ${height}\n255\n`, 'ascii');
  const body = Buffer.alloc(width * height * 3);
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x++) body.set(colour(x, y), (y * width + x) * 3);
  }
  writeFileSync(path, Buffer.concat([header, body]));
  return path;
}

// Two pictures of one size with detail everywhere, so that any wrong pixel
// shows: FROM a disc over a diagonal gradient, TO a square over another.
export function writePicturePair(dir, width = 160, height = 120) {
  const from = writePicture(join(dir, 'from.ppm'), width, height, (x, y) => {
    const inDisc = (x - 60) ** 2 + (y - 60) ** 2 < 35 ** 2;
    return inDisc ? [230, 60 + (x % 7) * 10, 40] : [(x * 3) & 255, (y * 5) & 255, ((x + y) * 2) & 255];
  });
  const to = writePicture(join(dir, 'to.ppm'), width, height, (x, y) => {
    const inSquare = x > 70 && x < 130 && y > 30 && y < 90;
    return inSquare ? [40, 80, 220 - (y % 5) * 9] : [(y * 4) & 255, (x * 2) & 255, (255 - x) & 255];
  });
  return { from, to };
}

// Starts `quorvane edit` and resolves when it has printed its address.
export function startEditor(args) {
  return new Promise((resolveStart, reject) => {
    const child = spawn(quorvane, ['edit', ...args, '--no-open'], { stdio: ['ignore', 'pipe', 'pipe'] });
    let out = '', err = '';
    const timer = setTimeout(() => reject(new Error(`no address printed: ${out} ${err}`)), 20000);
    child.stderr.on('data', (d) => { err += d; });
    child.stdout.on('data', (d) => {
      out += d;
      const m = out.match(/at (http:\/\/127\.0\.0\.1:(\d+)\/\?token=([0-9a-f]+))/);
      if (m) {
        clearTimeout(timer);
        resolveStart({
          child, address: m[1], port: Number(m[2]), token: m[3], origin: `http://127.0.0.1:${m[2]}`,
          output: () => out, errors: () => err,
        });
      }
    });
    child.on('exit', (code) => { clearTimeout(timer); reject(new Error(`edit exited with ${code}: ${err}`)); });
  });
}

// Stops the server with SIGINT and resolves with its exit code and output.
export function stopEditor(editor) {
  return new Promise((done) => {
    if (editor.child.exitCode !== null) { done({ code: editor.child.exitCode, out: editor.output() }); return; }
    editor.child.removeAllListeners('exit');
    editor.child.on('exit', (code) => done({ code, out: editor.output() }));
    editor.child.kill('SIGINT');
  });
}

// A JSON request to the server with the token.
export async function api(editor, method, path, body, headers = {}) {
  const response = await fetch(editor.origin + path, {
    method,
    headers: { 'X-Quorvane-Token': editor.token, ...(body === undefined ? {} : { 'Content-Type': 'application/json' }), ...headers },
    body: body === undefined ? undefined : typeof body === 'string' ? body : JSON.stringify(body),
  });
  const type = response.headers.get('content-type') || '';
  return { status: response.status, data: type.startsWith('application/json') ? await response.json() : await response.arrayBuffer() };
}

export async function launchBrowser() {
  return chromium.launch({ executablePath: chromiumPath, args: ['--no-sandbox', '--disable-gpu'] });
}

// Opens the editor in a page and waits for it to be ready. Records every
// request that leaves 127.0.0.1 and every console error.
export async function openEditor(browser, editor) {
  // The page's own policy forbids eval, which the test driver's waits use.
  const context = await browser.newContext({ viewport: { width: 1400, height: 800 }, bypassCSP: true });
  const page = await context.newPage();
  const foreign = [], consoleErrors = [];
  page.on('request', (r) => { if (!r.url().startsWith(editor.origin + '/') && !r.url().startsWith('blob:')) foreign.push(r.url()); });
  page.on('console', (m) => { if (m.type() === 'error') consoleErrors.push(m.text()); });
  page.on('pageerror', (e) => consoleErrors.push(String(e)));
  await page.goto(editor.address);
  await page.waitForSelector('body[data-ready="1"]');
  return { page, context, foreign, consoleErrors };
}

// The screen position (page coordinates) of picture pixel (x, y)'s centre.
export async function screenOf(page, side, x, y) {
  return page.evaluate(([s, px, py]) => {
    const view = window.quorvaneEditor.views[s];
    const rect = view.canvas.getBoundingClientRect();
    const [cx, cy] = view.toScreen([px, py]);
    return [rect.left + cx, rect.top + cy];
  }, [side, x, y]);
}

export async function serverPoints(editor) {
  return (await api(editor, 'GET', '/api/points')).data;
}
