// The page in headless Chromium against the native converter: what the canvas
// shows, the readout, zoom, saved files, a short file, and that nothing goes
// over the network once the page has loaded.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { randomBytes } from "node:crypto";
import { existsSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join, resolve } from "node:path";
import { after, before, test } from "node:test";

import { loadWith, openPage } from "../tools/browser.js";

const root = resolve(import.meta.dirname, "../..");
const SITE = process.env.PIXMORA_SITE ?? join(root, "build/web");
const CONVERT = process.env.PIXMORA_CONVERT ?? join(root, "build/native/bin/pixmora-convert");
const GROUPS = { qcom10: [6, 8], mipi10: [4, 5], mipi12: [2, 3], mipi14: [4, 7], plain10: [1, 2], plain12: [1, 2],
  plain14: [1, 2], plain16: [1, 2], raw8: [1, 1] };

const work = mkdtempSync(join(tmpdir(), "pixmora-web-test-"));
let session;

before(async () => { session = await openPage(SITE); });
after(async () => {
  await session?.close();
  rmSync(work, { recursive: true, force: true });
});

const rowBytes = (layout, width) => Math.ceil(width / GROUPS[layout][0]) * GROUPS[layout][1];

function convert(args, input, output) {
  execFileSync(CONVERT, [...args, "--quiet", "--output", output, input]);
  return readFileSync(output);
}

// A 24-bit BMP's pixels as rows of [r, g, b], top row first.
function bmpPixels(bmp) {
  const width = bmp.readInt32LE(18);
  const height = bmp.readInt32LE(22);
  const stride = Math.ceil((width * 3) / 4) * 4;
  const rows = [];
  for (let y = 0; y < height; y++) {
    const at = bmp.readUInt32LE(10) + (height - 1 - y) * stride;
    rows.push(Array.from({ length: width }, (_, x) => [bmp[at + 3 * x + 2], bmp[at + 3 * x + 1], bmp[at + 3 * x]]));
  }
  return { width, height, rows };
}

// The canvas's device pixels of a w x h picture at its shown place and zoom.
async function shownPixels(page, w, h) {
  return page.evaluate((width, height) => {
    const view = document.querySelector("#view");
    const { x, y, scale } = view.dataset;
    const data = view.getContext("2d").getImageData(Number(x), Number(y), width * scale, height * scale).data;
    return { scale: Number(scale), x: Number(x), y: Number(y), data: Array.from(data) };
  }, w, h);
}

function assertShows(shown, picture, what) {
  const s = shown.scale;
  const across = picture.width * s;
  for (let y = 0; y < picture.height * s; y++) {
    for (let x = 0; x < across; x++) {
      const at = 4 * (y * across + x);
      const want = picture.rows[Math.floor(y / s)][Math.floor(x / s)];
      const got = shown.data.slice(at, at + 3);
      if (got.some((v, c) => v !== want[c])) {
        assert.fail(`${what}: device pixel ${x},${y} is ${got}, the picture's ${want}`);
      }
    }
  }
}

const choose = (page, view) => page.$eval(`input[name=view][value=${view}]`, (e) => e.click());

// Sets form elements as a user would, each change an input event.
function setForm(page, values) {
  return page.$eval("#panel", (f, chosen) => {
    for (const [n, v] of Object.entries(chosen)) {
      if (f.elements[n].type === "checkbox") f.elements[n].checked = v;
      else f.elements[n].value = v;
      f.elements[n].dispatchEvent(new Event("input", { bubbles: true }));
    }
  }, values);
}

test("half size shows the converter's BMP for every layout, with a stride, an offset and a later frame", async () => {
  const { page, url } = session;
  const [width, height, frame] = [38, 23, 2];
  for (const [i, layout] of Object.keys(GROUPS).entries()) {
    const stride = rowBytes(layout, width) + 7;
    const [offset, scanlines] = [13 + i, height + 3];
    const bytes = offset + stride * scanlines * frame + stride * (height - 1) + rowBytes(layout, width);
    const input = join(work, `dump${i}.bin`);
    writeFileSync(input, randomBytes(bytes));
    const pattern = ["RGGB", "GRBG", "BGGR", "GBRG"][i % 4];
    const settings = { layout, width, height, pattern, stride, offset, scanlines, frame };
    await loadWith(page, url, input, new URLSearchParams({ ...settings, file: `dump${i}.bin` }).toString());
    await page.keyboard.press("1");
    const args = Object.entries(settings).flatMap(([name, v]) => [`--${name}`, String(v)]);
    const picture = bmpPixels(convert(args, input, join(work, `dump${i}.bmp`)));
    assert.equal(await page.$eval("#frames", (e) => e.textContent), "of 3", layout);
    assertShows(await shownPixels(page, picture.width, picture.height), picture, layout);
  }
});

// mipi12 samples with values across the whole 12 bits.
const sampleAt = (x, y) => (x * 37 + y * 101 + 2000) % 4096;

function mipi12(width, height) {
  const out = [];
  for (let y = 0; y < height; y++) {
    for (let x = 0; x < width; x += 2) {
      const [a, b] = [sampleAt(x, y), sampleAt(x + 1, y)];
      out.push(a >> 4, b >> 4, ((b & 15) << 4) | (a & 15));
    }
  }
  return Buffer.from(out);
}

test("one session: the name's settings, readout, zoom, a colour plane, saved files, a short file, no network", async () => {
  const { page, url, browser } = session;
  const [width, height] = [64, 48];
  const name = "scene_64x48_GRBG_mipi12.raw";
  const input = join(work, name);
  writeFileSync(input, mipi12(width, height));
  const requests = [];
  await loadWith(page, url, null);
  page.on("request", (request) => requests.push(request.url()));
  await (await page.$("#file")).uploadFile(input);
  await page.waitForFunction(() => document.querySelector("#view").dataset.scale);

  const form = await page.$eval("#panel", (f) => ["layout", "width", "height", "pattern"].map((n) => f.elements[n].value));
  assert.deepEqual(form, ["mipi12", "64", "48", "GRBG"]);

  // The readout under the cursor, at 1:1 and at 32 x, with the cell's samples
  // in GRBG order: Gr, R over B, Gb.
  const native = bmpPixels(convert([], input, join(work, "scene.bmp")));
  const box = await (await page.$("#view")).boundingBox();
  const readoutAt = async (u, v) => {
    const { x, y, scale } = await page.$eval("#view", (e) => ({ ...e.dataset }));
    await page.mouse.move(box.x + Number(x) + (u + 0.5) * scale, box.y + Number(y) + (v + 0.5) * scale);
    return page.$eval("#readout", (e) => e.textContent);
  };
  const expected = (u, v) => `x ${u}  y ${v}   Gr ${sampleAt(2 * u, 2 * v)} R ${sampleAt(2 * u + 1, 2 * v)} / ` +
    `B ${sampleAt(2 * u, 2 * v + 1)} Gb ${sampleAt(2 * u + 1, 2 * v + 1)}   frame 0`;
  await page.keyboard.press("1");
  assert.equal((await shownPixels(page, 32, 24)).scale, 1);
  for (const [u, v] of [[0, 0], [31, 23], [17, 5]]) assert.equal(await readoutAt(u, v), expected(u, v));

  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  for (let i = 0; i < 40; i++) await page.mouse.wheel({ deltaY: -240 });
  assert.equal(await page.$eval("#zoom-level", (e) => e.textContent), "3200 %");
  const { x, y } = await page.$eval("#view", (e) => ({ ...e.dataset }));
  const [u, v] = [Math.floor((box.width / 2 - x) / 32), Math.floor((box.height / 2 - y) / 32)];
  assert.equal(await readoutAt(u, v), expected(u, v));
  const square = await page.evaluate((left, top) => Array.from(
    document.querySelector("#view").getContext("2d").getImageData(left, top, 32, 32).data), Number(x) + 32 * u, Number(y) + 32 * v);
  for (let at = 0; at < square.length; at += 4) {
    assert.deepEqual(square.slice(at, at + 3), native.rows[v][u], "a 32 x pixel is one sharp square");
  }

  // The red plane in grey: each red sample scaled from 12 bits to 8.
  await choose(page, "r");
  await page.keyboard.press("1");
  const red = { width: 32, height: 24, rows: [] };
  for (let j = 0; j < 24; j++) {
    red.rows.push(Array.from({ length: 32 }, (_, i) => Array(3).fill(Math.round((sampleAt(2 * i + 1, 2 * j) * 255) / 4095))));
  }
  assertShows(await shownPixels(page, 32, 24), red, "red plane");

  // Full size and the preview look at half size: the converter's pictures.
  await choose(page, "full");
  await page.keyboard.press("1");
  assertShows(await shownPixels(page, 64, 48), bmpPixels(convert(["--full"], input, join(work, "full.bmp"))), "full");
  await choose(page, "half");
  await setForm(page, { preview: true });
  await page.keyboard.press("1");
  const preview = bmpPixels(convert(["--preview"], input, join(work, "preview.bmp")));
  assertShows(await shownPixels(page, 32, 24), preview, "preview look");
  await setForm(page, { preview: false });

  // Saved files: each type with a look, byte for byte the converter's.
  const downloads = join(work, "downloads");
  const cdp = await browser.target().createCDPSession();
  await cdp.send("Browser.setDownloadBehavior", { behavior: "allow", downloadPath: downloads });
  const saves = [
    ["half", "bmp", { preview: false, black: "", wb: "none" }, []],
    ["half", "png", { preview: true, black: "64", wb: "none" }, ["--preview", "--black", "64"]],
    ["full", "png16", { preview: false, black: "", wb: "gains" }, ["--full", "--wb", "1.5,1,0.75"]],
    ["half", "dng", { preview: false, black: "64", wb: "gains" }, ["--wb", "1.5,1,0.75", "--black", "64"]],
  ];
  for (const [view, type, look, args] of saves) {
    await choose(page, view);
    await setForm(page, { ...look, gainR: "1.5", gainB: "0.75", type });
    assert.equal(await page.$eval("#message", (e) => e.textContent), "", type);
    await page.click("#save");
    const saved = join(downloads, `scene_64x48_GRBG_mipi12.${type === "png16" ? "png" : type}`);
    for (let i = 0; i < 100 && !(existsSync(saved) && !readdirSync(downloads).some((f) => f.endsWith(".crdownload"))); i++) {
      await new Promise((done) => setTimeout(done, 50));
    }
    const want = convert(["--type", type, ...args], input, join(work, `native.${type}`));
    assert.ok(readFileSync(saved).equals(want), `${type} saved as the converter writes it`);
    rmSync(saved);
  }

  // Too short for a taller frame: the reason with the bytes, the picture kept.
  await choose(page, "half");
  const kept = await shownPixels(page, 32, 24);
  await setForm(page, { height: "50" });
  const message = await page.$eval("#message", (e) => e.textContent);
  assert.match(message, /^The file is too short: frame 0 of 64 x 50 mipi12 .* needs 4800 bytes; it holds 4608$/);
  assert.deepEqual(await shownPixels(page, 32, 24), kept);

  assert.deepEqual(requests.filter((r) => /^(https?|wss?):/.test(r)), [], "no network request after loading");
});

test("a dump without a size in its name: the sizes it fits, one clicked; a sharp picture at twice the pixel ratio; the licence", async () => {
  const { page, url } = session;
  const input = join(work, "capture.bin");
  writeFileSync(input, randomBytes(640 * 480 * 2));
  await page.setViewport({ width: 1280, height: 720, deviceScaleFactor: 2 });
  await loadWith(page, url, input);
  assert.deepEqual(await page.$$eval("#fit-list button", (all) => all.map((b) => b.textContent)),
    ["plain10 640 × 480", "plain12 640 × 480", "plain14 640 × 480", "plain16 640 × 480"]);
  assert.match(await page.$eval("#message", (e) => e.textContent), /^Width and height are not in the name/);
  await page.click("#fit-list li:nth-child(2) button");
  const form = await page.$eval("#panel", (f) => ["layout", "width", "height"].map((n) => f.elements[n].value));
  assert.deepEqual(form, ["plain12", "640", "480"]);
  await page.keyboard.press("1");
  const picture = bmpPixels(convert(["--layout", "plain12", "--width", "640", "--height", "480", "--pattern", "RGGB"],
    input, join(work, "capture.bmp")));
  assertShows(await shownPixels(page, 320, 240), picture, "at device pixel ratio 2");
  await page.setViewport({ width: 1280, height: 720, deviceScaleFactor: 1 });

  const licence = await page.$eval("footer a", async (a) => [a.textContent, await (await fetch(a.href)).text()]);
  assert.deepEqual(licence, ["MIT licence, Copyright (c) 2026 the Pixmora developers",
    readFileSync(join(root, "LICENSE"), "utf8")]);
});
