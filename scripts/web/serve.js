// A static web server for the page's folder on 127.0.0.1, for viewing the
// show and for the browser tests. `node serve.js DIR [PORT]` serves DIR and
// prints its address (PORT 0: any free port); the tests require() it.
'use strict';
const fs = require('fs');
const http = require('http');
const path = require('path');

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.wasm': 'application/wasm', '.tga': 'image/x-tga', '.wav': 'audio/wav',
};

// Resolves to {server, url} once DIR is served on PORT.
function serve(dir, port = 0) {
  const root = path.resolve(dir);
  const server = http.createServer((request, response) => {
    const wanted = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    const file = path.join(root, wanted.endsWith('/') ? wanted + 'index.html' : wanted);
    // Nothing outside the folder, whatever the request says.
    if (!['GET', 'HEAD'].includes(request.method) || (file !== root && !file.startsWith(root + path.sep))) {
      response.writeHead(404).end();
      return;
    }
    fs.readFile(file, (error, data) => {
      if (error) {
        response.writeHead(404).end();
        return;
      }
      response.writeHead(200, {
        'Content-Type': types[path.extname(file)] || 'application/octet-stream',
        'Cache-Control': 'no-cache',
      });
      response.end(request.method === 'HEAD' ? undefined : data);
    });
  });
  return new Promise((resolve, reject) => {
    server.once('error', reject);
    server.listen(port, '127.0.0.1', () =>
      resolve({server, url: `http://127.0.0.1:${server.address().port}/`}));
  });
}

module.exports = {serve};

if (require.main === module) {
  const [dir, port] = process.argv.slice(2);
  if (!dir) {
    console.error('Usage: node serve.js DIR [PORT]');
    process.exit(2);
  }
  serve(dir, Number(port || 0)).then(({url}) => console.log(`Serving ${dir} at ${url} (Ctrl+C ends)`),
    error => { console.error(`Cannot serve ${dir}: ${error.message}`); process.exit(1); });
}
