// The system's Chromium, headless, for the page's screenshots, tests and
// benchmark: never a downloaded browser, a fresh profile each run, and none of
// the background connections a closed network refuses.
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import puppeteer from "puppeteer-core";

import { serve } from "./serve.js";

export const CHROMIUM = process.env.PIXMORA_CHROMIUM ?? "/usr/bin/chromium";

// Serves `site` and opens its page in a headless Chromium at width x height
// CSS pixels. close() ends both.
export async function openPage(site, { width = 1280, height = 720, ratio = 1 } = {}) {
  const { server, url } = await serve(site);
  const profile = mkdtempSync(join(tmpdir(), "pixmora-chromium-"));
  const browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    userDataDir: profile,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
      "--disable-component-update", "--disable-sync"],
  });
  const page = await browser.newPage();
  await page.setViewport({ width, height, deviceScaleFactor: ratio });
  const close = async () => {
    await browser.close();
    server.close();
    rmSync(profile, { recursive: true, force: true });
  };
  return { browser, page, url, close };
}

// Loads the page (with `fragment` after '#'), waits for its module and opens
// `file` through its file input.
export async function loadWith(page, url, file, fragment = "") {
  await page.goto("about:blank");
  await page.goto(`${url}${fragment ? `#${fragment}` : ""}`, { waitUntil: "load" });
  await page.waitForSelector("body[data-ready='1']");
  if (file) await openDump(page, file);
}

export async function openDump(page, file) {
  const before = await page.$eval("#file-name", (e) => e.textContent);
  await (await page.$("#file")).uploadFile(file);
  await page.waitForFunction((old) => {
    const text = document.querySelector("#file-name").textContent;
    return text !== old && !text.endsWith("reading…");
  }, {}, before);
}
