// Requests to the editor's server. The session token comes from the page's
// address and goes with every request as a header.
const token = new URLSearchParams(location.search).get('token') || '';

async function call(method, path, body, signal) {
  const init = { method, headers: { 'X-Quorvane-Token': token }, signal };
  if (body !== undefined) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  const response = await fetch(path, init);
  const type = response.headers.get('Content-Type') || '';
  const data = type.startsWith('application/json') ? await response.json() : null;
  return { status: response.status, ok: response.ok, data, response };
}

export const api = {
  session: () => call('GET', '/api/session'),
  points: () => call('GET', '/api/points'),
  putPoints: (points, lines) => call('PUT', '/api/points', { points, lines }),
  save: () => call('POST', '/api/save'),
  landmarks: (points) => call('POST', '/api/landmarks', { points }),
  startExport: (settings) => call('POST', '/api/export', settings),
  exportStatus: () => call('GET', '/api/export'),
  cancelExport: () => call('POST', '/api/export/cancel'),
  async picture(side) {
    const response = await fetch(`/api/picture/${side}`, { headers: { 'X-Quorvane-Token': token } });
    return createImageBitmap(await response.blob());
  },
  // The PNG of one preview frame as a blob; null when the server dropped
  // it for a newer request, or when this request was aborted.
  async preview(params, signal) {
    const query = new URLSearchParams(params).toString();
    try {
      const response = await fetch(`/api/preview?${query}`, { headers: { 'X-Quorvane-Token': token }, signal });
      if (response.status === 204) return null;
      if (!response.ok) return { error: (await response.json()).error };
      return { blob: await response.blob() };
    } catch (e) {
      if (e.name === 'AbortError') return null;
      throw e;
    }
  },
};
