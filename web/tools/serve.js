// Serves a folder of static files on 127.0.0.1, as any web server would serve
// the page; only GET and HEAD, only files inside the folder.
import { createReadStream, statSync } from "node:fs";
import { createServer } from "node:http";
import { extname, join, normalize, resolve, sep } from "node:path";
import { fileURLToPath } from "node:url";

const TYPES = {
  ".html": "text/html; charset=utf-8", ".js": "text/javascript", ".css": "text/css",
  ".wasm": "application/wasm", ".png": "image/png", ".zip": "application/zip",
};

export function serve(folder, port = 0) {
  const root = resolve(folder);
  const server = createServer((request, response) => {
    const path = decodeURIComponent(new URL(request.url, "http://localhost").pathname);
    let file = normalize(join(root, path.endsWith("/") ? `${path}index.html` : path));
    let stat = null;
    try {
      stat = statSync(file);
      if (stat.isDirectory()) {
        file = join(file, "index.html");
        stat = statSync(file);
      }
    } catch {
      stat = null;
    }
    if (!file.startsWith(root + sep) || !stat || !["GET", "HEAD"].includes(request.method)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, {
      "Content-Type": TYPES[extname(file)] ?? "text/plain; charset=utf-8",
      "Content-Length": stat.size,
      "Cache-Control": "no-cache",
    });
    if (request.method === "HEAD") response.end();
    else createReadStream(file).pipe(response);
  });
  return new Promise((done) => {
    server.listen(port, "127.0.0.1", () => done({ server, url: `http://127.0.0.1:${server.address().port}/` }));
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const { url } = await serve(process.argv[2] ?? "build/web", Number(process.argv[3] ?? 8080));
  console.log(`Pixmora's page: ${url}`);
}
