// A small static file server for dist/web on the loopback address, gzip-compressing what
// compresses, with the types browsers insist on (application/wasm for streaming compile).
// Run: node scripts/lib/web-server.mjs DIR [PORT]; the web tests import serve() instead.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, normalize, resolve } from 'node:path';
import { gzipSync } from 'node:zlib';
import { pathToFileURL } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm', '.ogg': 'audio/ogg', '.vs': 'text/plain; charset=utf-8',
  '.fs': 'text/plain; charset=utf-8', '.css': 'text/css; charset=utf-8',
};
// Ogg is compressed already; gzip would only cost time.
const COMPRESS = new Set(['.html', '.js', '.wasm', '.vs', '.fs', '.css']);

// Serves `dir` on 127.0.0.1; resolves to { server, url }. `onRequest(path, bytesSent)` sees
// every response, for counting what a page transfers.
export function serve(dir, port = 0, onRequest = () => {}) {
  const root = resolve(dir);
  const server = createServer(async (req, res) => {
    const path = decodeURIComponent(new URL(req.url, 'http://x').pathname);
    const file = normalize(join(root, path.endsWith('/') ? path + 'index.html' : path));
    try {
      if (!file.startsWith(root) || !(await stat(file)).isFile()) throw new Error('not a file');
      let body = await readFile(file);
      const ext = extname(file);
      const headers = { 'Content-Type': TYPES[ext] || 'application/octet-stream', 'Cache-Control': 'no-cache' };
      if (COMPRESS.has(ext) && /\bgzip\b/.test(req.headers['accept-encoding'] || '')) {
        body = gzipSync(body, { level: 9 });
        headers['Content-Encoding'] = 'gzip';
      }
      headers['Content-Length'] = body.length;
      res.writeHead(200, headers);
      res.end(body);
      onRequest(path, body.length);
    } catch {
      res.writeHead(404, { 'Content-Type': 'text/plain' });
      res.end('not found\n');
      onRequest(path, 0);
    }
  });
  return new Promise((ok, fail) => {
    server.once('error', fail);
    server.listen(port, '127.0.0.1', () => ok({ server, url: `http://127.0.0.1:${server.address().port}/` }));
  });
}

if (import.meta.url === pathToFileURL(process.argv[1]).href) {
  const [dir, port] = process.argv.slice(2);
  if (!dir) {
    console.error('usage: node web-server.mjs DIR [PORT]');
    process.exit(2);
  }
  const { url } = await serve(dir, Number(port || 8020));
  console.log(`zoov2020 is at ${url} (Ctrl+C stops the server)`);
}
