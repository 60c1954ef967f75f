// Screenshots of the page at work, as scripts/web.sh saves them without a
// display: the sample chart at half size, zoomed in with the readout, one
// colour plane, and the size fits offered for a dump whose name has none.
//
//   node tools/screenshots.js SITE CHART NAMELESS OUT_FOLDER
import { join } from "node:path";

import { loadWith, openDump, openPage } from "./browser.js";

const [site, chart, nameless, out] = process.argv.slice(2);
const { page, url, close } = await openPage(site);
console.log(`The page, served for the screenshots: ${url}`);
try {
  await loadWith(page, url, chart);
  await page.screenshot({ path: join(out, "web-half.png") });

  const box = await (await page.$("#view")).boundingBox();
  const [x, y] = [box.x + box.width * 0.745, box.y + box.height * 0.78];
  await page.mouse.move(x, y);
  for (let i = 0; i < 3; i++) await page.mouse.wheel({ deltaY: -240 });
  await page.mouse.move(x + 3, y + 2);
  await page.screenshot({ path: join(out, "web-zoom.png") });

  await page.click("#fit");
  await page.click("input[name=view][value=gr]");
  await page.screenshot({ path: join(out, "web-plane.png") });

  await page.click("input[name=view][value=half]");
  await openDump(page, nameless);
  await page.screenshot({ path: join(out, "web-fits.png") });
} finally {
  await close();
}
