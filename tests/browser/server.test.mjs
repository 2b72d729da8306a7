// The editor's server against hostile and heavy use: tokens, foreign hosts
// and origins, odd paths, oversized and malformed bodies, wrong points,
// kills in the middle of saving, and many clients at once.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { readFileSync, writeFileSync, readdirSync } from 'node:fs';
import http from 'node:http';
import { join } from 'node:path';
import { api, quorvane, startEditor, stopEditor, tempDir, writePicturePair } from './support.mjs';

let dir, pictures, editor;
const POINTS = '[\n  [40, 40, 50, 45],\n  [110, 70, 100, 60]\n]\n';

before(async () => {
  dir = tempDir();
  pictures = writePicturePair(dir);
  writeFileSync(join(dir, 'points.json'), POINTS);
  editor = await startEditor([pictures.from, pictures.to, '--points', join(dir, 'points.json')]);
});
after(async () => { if (editor) await stopEditor(editor); });

// A raw request, so that Host and Origin can be anything.
function raw(path, { method = 'GET', headers = {}, body } = {}) {
  return new Promise((resolve, reject) => {
    const request = http.request({ host: '127.0.0.1', port: editor.port, path, method, headers, setHost: false }, (response) => {
      let data = '';
      response.on('data', (d) => { data += d; });
      response.on('end', () => resolve({ status: response.statusCode, body: data, headers: response.headers }));
    });
    request.on('error', reject);
    if (body !== undefined) request.write(body);
    request.end();
  });
}
const host = () => `127.0.0.1:${editor.port}`;

test('requests without the token, with a wrong one, or from a foreign host or origin get 403', async () => {
  const good = { Host: host(), 'X-Quorvane-Token': editor.token };
  assert.equal((await raw('/api/session', { headers: good })).status, 200);
  assert.equal((await raw('/api/session', { headers: { Host: host() } })).status, 403);
  assert.equal((await raw('/', { headers: { Host: host() } })).status, 403);
  const wrong = editor.token.slice(0, -1) + (editor.token.endsWith('0') ? '1' : '0');
  assert.equal((await raw('/api/session', { headers: { Host: host(), 'X-Quorvane-Token': wrong } })).status, 403);
  assert.equal((await raw(`/api/points?token=${wrong}`, { headers: { Host: host() } })).status, 403);
  assert.equal((await raw(`/api/points?token=${editor.token}`, { headers: { Host: host() } })).status, 200);
  assert.equal((await raw('/api/session', { headers: { ...good, Host: `evil.example:${editor.port}` } })).status, 403);
  assert.equal((await raw('/api/session', { headers: { ...good, Host: '127.0.0.1' } })).status, 403);
  assert.equal((await raw('/api/session', { headers: { 'X-Quorvane-Token': editor.token } })).status, 403);
  assert.equal((await raw('/api/session', { headers: { ...good, Origin: 'http://evil.example' } })).status, 403);
  assert.equal((await raw('/api/session', { headers: { ...good, Origin: `http://127.0.0.1:${editor.port + 1}` } })).status, 403);
  assert.equal((await raw('/api/session', { headers: { ...good, Origin: `http://127.0.0.1:${editor.port}` } })).status, 200);
  // The cookie the page gets works in place of the header, for this port only.
  const page = await raw(`/?token=${editor.token}`, { headers: { Host: host() } });
  assert.equal(page.status, 200);
  const cookie = page.headers['set-cookie'][0].split(';')[0];
  assert.equal(cookie, `quorvane_${editor.port}=${editor.token}`);
  assert.match(page.headers['set-cookie'][0], /HttpOnly; SameSite=Strict/);
  assert.equal((await raw('/api/session', { headers: { Host: host(), Cookie: cookie } })).status, 200);
  assert.match(page.headers['content-security-policy'], /default-src 'self'/);
});

test('path-like, unknown and oversized requests are refused without touching any file', async () => {
  const good = { Host: host(), 'X-Quorvane-Token': editor.token };
  for (const path of ['/../../etc/passwd', '/api/picture/..%2F..%2Fetc%2Fpasswd', '/api/picture/%2e%2e',
    '/api/picture/from/../../points.json', '/%2e%2e/%2e%2e/etc/passwd', '/api/points/../../x', '/editor.js/..',
    '/' + 'a'.repeat(5000) + '.js']) {
    const answer = await raw(path, { headers: good });
    assert.ok([400, 404].includes(answer.status), `${path}: ${answer.status}`);
    assert.doesNotMatch(answer.body, /root:/);
  }
  const big = 'x'.repeat(5 * 1024 * 1024);
  const sized = { ...good, 'Content-Type': 'application/json', 'Content-Length': String(big.length) };
  assert.equal((await raw('/api/points', { method: 'PUT', headers: sized, body: big })).status, 413);
  // A chunked body has no length to judge beforehand; it is cut off at the limit.
  const chunked = await raw('/api/points', { method: 'PUT', headers: { ...good, 'Content-Type': 'application/json' }, body: big });
  assert.ok([400, 413].includes(chunked.status), `chunked: ${chunked.status}`);
  assert.equal(readFileSync(join(dir, 'points.json'), 'utf8'), POINTS);
  assert.equal((await api(editor, 'GET', '/api/preview?frame=40&frames=30')).status, 400);
  assert.equal((await api(editor, 'GET', '/api/preview?block=0')).status, 400);
  assert.equal((await api(editor, 'GET', '/api/preview?bilinear=maybe')).status, 400);
  assert.equal((await api(editor, 'DELETE', '/api/points')).status, 404);
});

test('malformed JSON gets 400 with a message, and deep nesting does not crash the server', async () => {
  for (const body of ['[[1,2,3,4]', '{"points": [}', 'null null', '', '[' .repeat(100000) + ']'.repeat(100000),
    '{"x":' + '['.repeat(200000)]) {
    const answer = await api(editor, 'PUT', '/api/points', body);
    assert.ok([400, 422].includes(answer.status), `${body.slice(0, 20)}: ${answer.status}`);
    assert.equal(typeof answer.data.error, 'string');
  }
  assert.equal((await api(editor, 'PUT', '/api/points', '[[1,2,3,4]')).status, 400);
  assert.match((await api(editor, 'PUT', '/api/points', '[[1,2,3,4]')).data.error, /^malformed JSON: /);
  assert.equal((await api(editor, 'POST', '/api/export', '{"frames": 1e300}')).status, 400);
  assert.equal((await api(editor, 'POST', '/api/export', '{"kind": "exe"}')).status, 400);
  assert.equal((await api(editor, 'GET', '/api/session')).status, 200);
});

test('every kind of wrong points is answered with 422 and the message the morph command gives for the same file', async () => {
  const cases = [
    [[0, 0, 5, 5]],                                   // a picture corner
    [[10, 10, 20, 20], [10, 10, 30, 30]],             // two points on one pixel
    [[10, 10, 200, 20]],                              // destination outside
    [[-3, 10, 20, 20]],                               // source outside
    [[10, 10, 20]],                                   // too few numbers
    [[10, 10, 20, 20, 0]],                            // weight 0
    [[10, 10, 20, 20, 1, 2]],                         // too many numbers
    [{ src: [10, 10] }],                              // no dst
    [{ src: [10, 10], dst: [1, 1], colour: 3 }],      // unknown field
    ['10 10 20 20'],                                  // not a point
  ];
  for (const points of cases) {
    const answer = await api(editor, 'PUT', '/api/points', { points });
    assert.equal(answer.status, 422, JSON.stringify(points));
    // The same points as a file, one point a line as the server reads them.
    const file = join(dir, 'points');
    writeFileSync(file, '[\n' + points.map((p) => JSON.stringify(p)).join(',\n') + '\n]');
    let message = '';
    try {
      execFileSync(quorvane, ['morph', pictures.from, pictures.to, '--points', file, '--out', join(dir, 'never.gif'), '--quiet'],
        { cwd: dir, stdio: 'pipe' });
    } catch (e) {
      message = e.stderr.toString().trim().replace(/^quorvane: /, '');
    }
    assert.equal(answer.data.error, message.replace(`${file}:`, 'points:'), JSON.stringify(points));
  }
  assert.equal((await api(editor, 'PUT', '/api/points', POINTS)).status, 200);
});

test('the points file is always the old or the new content when the server is killed in the middle of saves', async () => {
  const file = join(dir, 'killed.json');
  const oldText = '[\n  [20, 20, 25, 25]\n]\n';
  writeFileSync(file, oldText);
  const bulky = [];
  for (let i = 0; i < 3000; i++) bulky.push([1 + (i % 150), 1 + Math.floor(i / 150), 1 + (i % 150), 1 + Math.floor(i / 150)]);
  const newText = '[\n' + bulky.map((p) => `  [${p.join(', ')}]`).join(',\n') + '\n]\n';
  let sawNew = 0;
  for (let round = 0; round < 20; round++) {
    const victim = await startEditor([pictures.from, pictures.to, '--points', file]);
    const points = round % 2 === 0 ? bulky : [[20, 20, 25, 25]];
    await api(victim, 'PUT', '/api/points', { points });
    const saves = [];
    for (let i = 0; i < 4; i++) saves.push(api(victim, 'POST', '/api/save').catch(() => null));
    await new Promise((r) => setTimeout(r, round * 15));
    victim.child.kill('SIGKILL');
    await Promise.all(saves);
    await new Promise((r) => victim.child.exitCode !== null || victim.child.signalCode ? r() : victim.child.on('exit', r));
    const text = readFileSync(file, 'utf8');
    assert.ok(text === oldText || text === newText, `round ${round}: the file holds ${text.length} bytes of neither`);
    if (text === newText) sawNew++;
  }
  assert.ok(sawNew > 0, 'some saves completed before the kill');
  // Temporary files of killed saves are dot files; none took the file's name.
  assert.ok(readdirSync(dir).filter((n) => n.startsWith('killed.json')).length === 1);
});

function rssKiB(pid) {
  const status = readFileSync(`/proc/${pid}/status`, 'utf8');
  return Number(status.match(/VmRSS:\s+(\d+)/)[1]);
}

test('8 clients sending 500 preview and points requests each all get answers, memory stays flat, and the server stops cleanly', async () => {
  const client = async (id, count) => {
    let answered = 0;
    for (let i = 0; i < count; i++) {
      const kind = (i + id) % 3;
      const answer = kind === 0
        ? await api(editor, 'GET', `/api/preview?frame=${i % 30}&block=${1 + (i % 8)}&bilinear=${i % 2}`)
        : kind === 1 ? await api(editor, 'PUT', '/api/points', { points: [[40, 40, 50 + (i % 5), 45], [110, 70, 100, 60]] })
          : await api(editor, 'GET', '/api/points');
      if ([200, 204].includes(answer.status)) answered++;
    }
    return answered;
  };
  const warm = await Promise.all([0, 1, 2, 3, 4, 5, 6, 7].map((id) => client(id, 60)));
  assert.deepEqual(warm, Array(8).fill(60));
  const before = rssKiB(editor.child.pid);
  const answered = await Promise.all([0, 1, 2, 3, 4, 5, 6, 7].map((id) => client(id, 500)));
  assert.deepEqual(answered, Array(8).fill(500));
  const afterRss = rssKiB(editor.child.pid);
  assert.ok(afterRss < before + 8 * 1024, `resident memory went from ${before} KiB to ${afterRss} KiB`);
  const stopped = await stopEditor(editor);
  editor = null;
  assert.equal(stopped.code, 0);
  assert.match(stopped.out, /unsaved changes were NOT written to .*points\.json/);
  assert.equal(readFileSync(join(dir, 'points.json'), 'utf8'), POINTS);
});
