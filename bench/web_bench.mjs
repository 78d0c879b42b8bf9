// The page against morvik-inspect on the same machine: page load (opening
// index.html from disk until the core is ready), inspection on the page (from
// 「調査開始」 until the log is shown, and the core's run alone inside the
// worker) and morvik-inspect's whole process with one validation thread
// (MORVIK_WORKERS=1), on the demo archive and on an archive of N real-shaped
// documents (inspect_bench make N). Rounds are interleaved; the table gives
// medians, and ratios are taken pair by pair within a round.
//
// Run by bench/web_bench.sh, which builds everything and sets the environment.
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";
import { pathToFileURL } from "node:url";

const puppeteer = createRequire(path.join(process.env.MORVIK_NODE_MODULES, "/"))("puppeteer-core");
const SITE = path.resolve(process.env.MORVIK_SITE);
const INSPECT = path.resolve(process.env.MORVIK_INSPECT);
const ROUNDS = Number(process.env.ROUNDS || 5);
const archives = process.argv.slice(2).map((spec) => {
  const [label, zip] = spec.split("::");
  return { label, zip };
});

const median = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const mid = sorted.length >> 1;
  return sorted.length % 2 ? sorted[mid] : (sorted[mid - 1] + sorted[mid]) / 2;
};

function nativeRun(zip) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "morvik-web-bench-"));
  try {
    fs.copyFileSync(zip, path.join(folder, path.basename(zip)));
    const began = process.hrtime.bigint();
    const run = spawnSync(INSPECT, ["--max-extracted-size=1G", path.basename(zip)], {
      cwd: folder, env: { ...process.env, MORVIK_WORKERS: "1" }, stdio: "ignore",
    });
    const millis = Number(process.hrtime.bigint() - began) / 1e6;
    if (run.status !== 0 && run.status !== 1) throw new Error(`morvik-inspect ended with ${run.status}`);
    return millis;
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
  }
}

async function pageRun(browser, zip) {
  const page = await browser.newPage();
  const began = Date.now();
  await page.goto(pathToFileURL(path.join(SITE, "index.html")).href);
  await page.waitForSelector('body[data-state="ready"]', { timeout: 120000 });
  const load = Date.now() - began;
  await (await page.$("#zipFile")).uploadFile(zip);
  const result = await page.evaluate(async () => {
    const began = performance.now();
    document.getElementById("Command1").click();
    while (document.body.dataset.state !== "done") await new Promise((r) => setTimeout(r, 5));
    // The log on screen: one frame after it was put there.
    await new Promise((r) => requestAnimationFrame(() => r()));
    return { total: performance.now() - began, core: window.morvikPage.result.millis, status: window.morvikPage.result.status };
  });
  await page.close();
  if (result.status !== 0 && result.status !== 1) throw new Error(`the page's run ended with ${result.status}`);
  return { load, ...result };
}

const userData = fs.mkdtempSync(path.join(os.tmpdir(), "morvik-web-bench-chromium-"));
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM || "/usr/bin/chromium", headless: true, userDataDir: userData,
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync"],
});
const lines = [];
const say = (line) => { console.log(line); lines.push(line); };
try {
  const core = fs.statSync(path.join(SITE, "morvik-core.js")).size;
  const pageJs = fs.statSync(path.join(SITE, "morvik.js")).size;
  say(`# The page against morvik-inspect (${new Date().toISOString().slice(0, 10)}, ${os.cpus().length} cores, ${ROUNDS} interleaved rounds, medians)`);
  say("");
  say(`morvik-core.js (the WebAssembly module inside it, base64): ${(core / 1e6).toFixed(2)} MB; morvik.js ${(pageJs / 1e3).toFixed(1)} kB`);
  say("");
  say("| archive | page load ms | page: start to log shown ms | page: core run ms | morvik-inspect, 1 thread ms | ratio shown/native | ratio core/native |");
  say("|---|---:|---:|---:|---:|---:|---:|");
  for (const { label, zip } of archives) {
    const rows = [];
    for (let round = 0; round < ROUNDS; ++round) {
      // The order turns each round.
      if (round % 2 === 0) {
        const native = nativeRun(zip);
        rows.push({ native, ...(await pageRun(browser, zip)) });
      } else {
        const onPage = await pageRun(browser, zip);
        rows.push({ native: nativeRun(zip), ...onPage });
      }
    }
    const m = (key) => median(rows.map((r) => r[key]));
    say(`| ${label} | ${m("load").toFixed(0)} | ${m("total").toFixed(0)} | ${m("core").toFixed(0)} | ${m("native").toFixed(0)} | ` +
      `${median(rows.map((r) => r.total / r.native)).toFixed(2)} | ${median(rows.map((r) => r.core / r.native)).toFixed(2)} |`);
  }
} finally {
  await browser.close();
  fs.rmSync(userData, { recursive: true, force: true });
}
if (process.env.OUT) fs.writeFileSync(process.env.OUT, lines.join("\n") + "\n");
