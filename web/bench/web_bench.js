// The page's speed in headless Chromium (a benchmark, never a test):
//
//   - from a changed setting to the new picture on the canvas, for a
//     4000 x 3000 mipi10 dump, at half and at full size;
//   - the band decode of web/bench/band_bench.cpp compiled to WebAssembly;
//   - a 200 MB dump opened, and the memory the page then holds.
//
//   node bench/web_bench.js SITE BAND_BENCH_FOLDER
import { randomFillSync } from "node:crypto";
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

import { loadWith, openDump, openPage } from "../tools/browser.js";

const [site, bandBench] = process.argv.slice(2);
const work = mkdtempSync(join(tmpdir(), "pixmora-web-bench-"));
const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

function dump(name, bytes) {
  const path = join(work, name);
  const data = Buffer.alloc(bytes);
  for (let at = 0; at < bytes; at += 1 << 24) randomFillSync(data, at, Math.min(1 << 24, bytes - at));
  writeFileSync(path, data);
  return path;
}

// The resident memory of the browser's processes (the page's renderer among
// them) after a garbage collection, in bytes.
async function residentBytes(browser, page) {
  const cdp = await page.createCDPSession();
  await cdp.send("HeapProfiler.collectGarbage");
  await cdp.detach();
  const children = new Map();
  for (const pid of readdirSync("/proc").filter((name) => /^\d+$/.test(name))) {
    try {
      const parent = Number(readFileSync(`/proc/${pid}/stat`, "utf8").split(") ")[1].split(" ")[1]);
      children.set(parent, [...(children.get(parent) ?? []), Number(pid)]);
    } catch {
      // gone meanwhile
    }
  }
  let total = 0;
  for (const queue = [browser.process().pid]; queue.length > 0;) {
    const pid = queue.pop();
    try {
      total += Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, "utf8"))[1]) * 1024;
    } catch {
      // gone meanwhile
    }
    queue.push(...(children.get(pid) ?? []));
  }
  return total;
}

// Milliseconds from setting `name` to `value` until the frame after the redraw.
function change(page, name, value) {
  return page.evaluate(async (n, v) => {
    const element = document.querySelector("#panel").elements[n];
    const start = performance.now();
    element.value = v;
    element.dispatchEvent(new Event("input", { bubbles: true }));
    await new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
    return performance.now() - start;
  }, name, value);
}

try {
  const { browser, page, url, close } = await openPage(site);
  await loadWith(page, url, dump("bench_4000x3000_RGGB_mipi10.raw", 4000 * 3000 * 5 / 4));
  for (const view of ["half", "full"]) {
    await page.$eval(`input[name=view][value=${view}]`, (e) => e.click());
    const times = [];
    for (let i = 0; i < 15; i++) times.push(await change(page, "pattern", i % 2 ? "RGGB" : "GRBG"));
    console.log(`redraw ${view} size, 4000x3000 mipi10: median ${median(times).toFixed(1)} ms, ` +
      `slowest ${Math.max(...times).toFixed(1)} ms of ${times.length}`);
  }

  // The same page, fresh, before and after a 210 MB dump: what it then holds
  // beyond the dump is the picture and the module, never a second copy.
  const frames = 14;
  const bytes = frames * 4000 * 3000 * 5 / 4;
  const big = dump("big_4000x3000_RGGB_mipi10.raw", bytes);
  await loadWith(page, url, null);
  const before = await residentBytes(browser, page);
  const start = Date.now();
  await openDump(page, big);
  const opened = Date.now() - start;
  await change(page, "frame", String(frames - 1));
  const after = await residentBytes(browser, page);
  const cdp = await page.createCDPSession();
  const { usedSize } = await cdp.send("Runtime.getHeapUsage");
  const memory = await page.evaluate(() => ({
    wasm: window.pixmora.HEAPU8.length,
    frames: document.querySelector("#frames").textContent,
    message: document.querySelector("#message").textContent,
  }));
  const mb = (n) => (n / 1e6).toFixed(0);
  console.log(`a ${mb(bytes)} MB dump (${memory.frames} frames) opened and drawn in ${opened} ms; the browser's ` +
    `resident memory grew by ${mb(after - before)} MB (the dump is ${mb(bytes)} MB); WebAssembly memory ` +
    `${mb(memory.wasm)} MB, JavaScript heap ${(usedSize / 1e6).toFixed(1)} MB` +
    `${memory.message ? `; message: ${memory.message}` : ""}`);
  await close();

  writeFileSync(join(bandBench, "index.html"), '<!DOCTYPE html><link rel="icon" href="data:,"><script src="band-bench.js"></script>');
  const bench = await openPage(bandBench);
  const lines = [];
  bench.page.on("console", (message) => lines.push(message.text()));
  await bench.page.goto(bench.url);
  for (let i = 0; i < 600 && lines.length < 4; i++) await new Promise((done) => setTimeout(done, 100));
  for (const line of lines) console.log(`WebAssembly band decode, ${line}`);
  await bench.close();
} finally {
  rmSync(work, { recursive: true, force: true });
}
