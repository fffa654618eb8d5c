// Opens a course check's report page in headless Chromium (Debian's) as a person would
// and checks that it renders: a title, one section per movie, every picture loaded,
// and nothing asked of anywhere but the page's own folder. Saves a screenshot.
//   node report_page_check.mjs REPORT_FOLDER SCREENSHOT.png
import { chromium } from "playwright-core";
import path from "node:path";
import { pathToFileURL } from "node:url";

const [folder, screenshot] = process.argv.slice(2);
if (!folder || !screenshot) {
  console.error("usage: node report_page_check.mjs REPORT_FOLDER SCREENSHOT.png");
  process.exit(2);
}
const page_url = pathToFileURL(path.resolve(folder, "index.html")).href;
const folder_url = pathToFileURL(path.resolve(folder)).href + "/";

const browser = await chromium.launch({
  executablePath: process.env.QM_CHROMIUM ?? "/usr/bin/chromium",
  args: [
    "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
  ],
});
const problems = [];
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 900 } });
  page.on("request", (request) => {
    if (!request.url().startsWith(folder_url)) problems.push(`asked for ${request.url()}`);
  });
  page.on("pageerror", (error) => problems.push(`page error: ${error.message}`));
  await page.goto(page_url, { waitUntil: "load" });
  const seen = await page.evaluate(() => ({
    title: document.title,
    scripts: document.scripts.length,
    sections: document.querySelectorAll("section").length,
    images: Array.from(document.images).map((i) => ({
      src: i.getAttribute("src"),
      loaded: i.complete && i.naturalWidth > 0 && i.naturalHeight > 0,
    })),
  }));
  if (!seen.title.startsWith("Course check")) problems.push(`title "${seen.title}"`);
  if (seen.scripts !== 0) problems.push(`${seen.scripts} scripts`);
  if (seen.sections === 0) problems.push("no movie");
  if (seen.images.length === 0) problems.push("no picture");
  for (const image of seen.images) {
    if (!image.loaded) problems.push(`picture not loaded: ${image.src}`);
  }
  await page.screenshot({ path: screenshot, fullPage: true });
  console.log(
    `report page: ${seen.sections} movies, ${seen.images.length} pictures, ` +
      `${seen.images.filter((i) => i.loaded).length} loaded; screenshot ${screenshot}`,
  );
} finally {
  await browser.close();
}
if (problems.length > 0) {
  for (const p of problems) console.error(`report page: ${p}`);
  process.exit(1);
}
