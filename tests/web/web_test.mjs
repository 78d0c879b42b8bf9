// The page in a real browser: Debian's chromium, headless, driven through
// its DevTools protocol by puppeteer-core. For each archive the page's
// result log must equal morvik-inspect's for the same archive byte for byte
// (both the command line's output, LF line ends; the folder the archive sits
// in is the one difference, /archive on the page), its JSON report likewise,
// and its exit status. The page may request its own files and nothing else.
//
// Environment: MORVIK_SITE (the built page), MORVIK_INSPECT (morvik-inspect),
// MORVIK_DEMO_ZIP, MORVIK_REALDATA (folder of real archives; skipped when
// absent), MORVIK_ARCHIVES (the failing archives of make_archives.py),
// MORVIK_SHOTS (folder for the screenshots), MORVIK_NODE_MODULES.
import { execFileSync, spawnSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import os from "node:os";
import path from "node:path";
import { createRequire } from "node:module";
import { pathToFileURL } from "node:url";

const env = (name) => {
  const value = process.env[name];
  if (!value) throw new Error(`${name} is not set`);
  return value;
};
// puppeteer-core lives in a cache outside the clone (scripts/web-test.sh).
const puppeteer = createRequire(path.join(env("MORVIK_NODE_MODULES"), "/"))("puppeteer-core");
const SITE = path.resolve(env("MORVIK_SITE"));
const INSPECT = path.resolve(env("MORVIK_INSPECT"));
const SHOTS = path.resolve(env("MORVIK_SHOTS"));
const SITE_FILES = ["index.html", "morvik.css", "morvik-32.png", "morvik-core.js", "morvik.js"];
const PAGE_FOLDER = "/archive";
const MAX_ZIP_BYTES = 256 * 1024 * 1024;

let failures = 0;
let passes = 0;
function check(condition, what, detail = "") {
  if (condition) {
    passes++;
  } else {
    failures++;
    console.log(`FAIL ${what}${detail ? "\n" + detail : ""}`);
  }
}

// morvik-inspect on a copy of the archive in a fresh folder, as the page
// runs it: one validation thread, the page's extraction limit.
function inspectNatively(zipPath, schemaFolder = "") {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "morvik-web-native-"));
  const json = folder + ".json";
  try {
    const name = path.basename(zipPath);
    fs.copyFileSync(zipPath, path.join(folder, name));
    const schema = schemaFolder ? ["--schema", schemaFolder] : [];
    const csv = folder + ".csv";
    const run = spawnSync(INSPECT, ["--json", json, "--csv", csv, "--max-extracted-size=1G", ...schema, "--", name], {
      cwd: folder, env: { ...process.env, MORVIK_WORKERS: "1", LC_ALL: "C.UTF-8" }, maxBuffer: 1 << 30,
    });
    // The one difference: the folder the archive was in.
    // The page puts a schema folder's files under /schema/<its name>.
    const local = (bytes) => {
      let text = bytes.toString("latin1").replaceAll(folder, PAGE_FOLDER);
      if (schemaFolder) text = text.replaceAll(path.dirname(path.resolve(schemaFolder)), "/schema");
      return Buffer.from(text, "latin1");
    };
    const csvBytes = fs.existsSync(csv) ? local(fs.readFileSync(csv)) : Buffer.alloc(0);
    fs.rmSync(csv, { force: true });
    return { status: run.status, log: local(run.stdout), json: local(fs.readFileSync(json)).toString("utf8"), csv: csvBytes };
  } finally {
    fs.rmSync(folder, { recursive: true, force: true });
    fs.rmSync(json, { force: true });
  }
}

async function runOnPage(page, zipPath) {
  await page.evaluate(() => { document.body.dataset.state = "ready"; });
  const input = await page.$("#zipFile");
  await input.uploadFile(zipPath);
  await page.click("#Command1");
  await page.waitForSelector('body[data-state="done"], body[data-state="refused"]', { timeout: 600000 });
  return page.evaluate(() => {
    const r = window.morvikPage.result;
    let binary = "";
    for (let i = 0; i < r.logBytes.length; i += 0x8000) {
      binary += String.fromCharCode(...r.logBytes.subarray(i, i + 0x8000));
    }
    let csv = "";
    for (let i = 0; i < r.csvBytes.length; i += 0x8000) {
      csv += String.fromCharCode(...r.csvBytes.subarray(i, i + 0x8000));
    }
    return { status: r.status, log: btoa(binary), json: r.json, csv: btoa(csv), millis: r.millis };
  });
}

function firstDifference(a, b) {
  const n = Math.min(a.length, b.length);
  let i = 0;
  while (i < n && a[i] === b[i]) ++i;
  return `first difference at byte ${i} of ${a.length} (page) / ${b.length} (morvik-inspect):\n` +
    `page:   ${JSON.stringify(a.subarray(Math.max(0, i - 40), i + 80).toString("utf8"))}\n` +
    `native: ${JSON.stringify(b.subarray(Math.max(0, i - 40), i + 80).toString("utf8"))}`;
}

async function sameAnswers(page, label, zipPath, schemaFolder = "") {
  const native = inspectNatively(zipPath, schemaFolder);
  const onPage = await runOnPage(page, zipPath);
  const pageLog = Buffer.from(onPage.log, "base64");
  check(onPage.status === native.status, `${label}: exit status`, `page ${onPage.status}, morvik-inspect ${native.status}`);
  check(pageLog.equals(native.log), `${label}: result log`, pageLog.equals(native.log) ? "" : firstDifference(pageLog, native.log));
  check(onPage.json === native.json, `${label}: JSON report`,
    onPage.json === native.json ? "" : firstDifference(Buffer.from(onPage.json), Buffer.from(native.json)));
  const pageCsv = Buffer.from(onPage.csv, "base64");
  check(pageCsv.equals(native.csv), `${label}: CSV report`, pageCsv.equals(native.csv) ? "" : firstDifference(pageCsv, native.csv));
  console.log(`${onPage.status === native.status && pageLog.equals(native.log) && onPage.json === native.json && pageCsv.equals(native.csv) ? "ok  " : "FAIL"} ${label}: status ${onPage.status}, ${pageLog.length} log bytes, ${onPage.millis.toFixed(0)} ms on the page`);
  return native;
}

// A static server that records every request it receives.
function serve(root) {
  const requests = [];
  const server = http.createServer((request, response) => {
    requests.push(request.url);
    const file = path.join(root, decodeURIComponent(new URL(request.url, "http://x").pathname));
    if (!file.startsWith(root) || !fs.existsSync(file) || fs.statSync(file).isDirectory()) {
      response.writeHead(404).end();
      return;
    }
    const types = { ".html": "text/html; charset=utf-8", ".js": "text/javascript", ".css": "text/css", ".png": "image/png" };
    response.writeHead(200, { "Content-Type": types[path.extname(file)] || "application/octet-stream" });
    fs.createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(0, "127.0.0.1", () => resolve({ server, requests, port: server.address().port })));
}

async function openPage(browser, url) {
  const page = await browser.newPage();
  await page.setViewport({ width: 1100, height: 760 });
  const requests = [];
  const violations = [];
  page.on("request", (request) => requests.push(request.url()));
  page.on("console", (message) => {
    if (/Content.Security.Policy|Refused/i.test(message.text())) violations.push(message.text());
  });
  const began = Date.now();
  await page.goto(url);
  await page.waitForSelector('body[data-state="ready"]', { timeout: 120000 });
  const loadMillis = Date.now() - began;
  return { page, requests, violations, loadMillis };
}

// Only the page's own files, each once, from the page's own folder.
function ownFilesOnly(label, requests, base) {
  const unexpected = requests.filter((url) => !url.startsWith("blob:") &&
    !SITE_FILES.some((name) => url === base + name || url === base + "/" + name || (name === "index.html" && url === base)));
  check(unexpected.length === 0, `${label}: requests beyond the page's own files`, unexpected.join("\n"));
  const files = requests.filter((url) => !url.startsWith("blob:"));
  check(files.length <= SITE_FILES.length, `${label}: each file requested once`, files.join("\n"));
}

async function main() {
  const userData = fs.mkdtempSync(path.join(os.tmpdir(), "morvik-web-chromium-"));
  fs.mkdirSync(SHOTS, { recursive: true });
  const browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    userDataDir: userData,
    args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run", "--disable-background-networking",
      "--disable-component-update", "--disable-sync", "--lang=ja"],
  });
  const { server, requests: served, port } = await serve(SITE);
  try {
    // Opened from disk: the archives, the failing ones, the real one.
    const fromDisk = await openPage(browser, pathToFileURL(path.join(SITE, "index.html")).href);
    console.log(`page ready from disk in ${fromDisk.loadMillis} ms`);
    const page = fromDisk.page;

    const demo = await sameAnswers(page, "demo archive", env("MORVIK_DEMO_ZIP"));
    check(demo.status === 1, "demo archive: one document fails, as built");
    // The failure's lines are marked and the error buttons reach them.
    const marked = await page.evaluate(() => Array.from(document.querySelectorAll("#log .failed"), (d) => d.textContent));
    check(marked.length === 3 && marked[0] === "h1310000001202612010002.xml" && /^8行/.test(marked[2]),
      "demo archive: the failure entry's three lines are marked", JSON.stringify(marked));
    await page.click("#nextError");
    await page.click("#errorsOnly");
    const shown = await page.evaluate(() => Array.from(document.querySelectorAll("#log div"))
      .filter((d) => d.offsetParent !== null).map((d) => d.textContent));
    check(JSON.stringify(shown) === JSON.stringify(marked), "errors only: the failure entries alone", JSON.stringify(shown));
    await page.screenshot({ path: path.join(SHOTS, "web-page-errors-only.png") });
    await page.click("#errorsOnly");
    await page.evaluate(() => document.querySelector("#log").scrollTo(0, 0));
    await page.screenshot({ path: path.join(SHOTS, "web-page.png") });

    // 「ログを保存」: BOM, a header, then the log with CR LF line ends.
    const saved = await page.evaluate(() => window.morvikLogFileText());
    const logText = await page.evaluate(() => window.morvikPage.result.log);
    const [header, body] = [saved.slice(0, saved.indexOf("\r\n\r\n") + 4), saved.slice(saved.indexOf("\r\n\r\n") + 4)];
    check(saved.startsWith("\uFEFFZIPファイル：1310000001_06130001_202612011_1.zip\r\n"), "saved log: BOM and archive line", JSON.stringify(saved.slice(0, 80)));
    check(/文書数：5　OK：4　エラー：1\r\n/.test(header) && /Morvik 0\.1/.test(header), "saved log: counts and version in the header", header);
    check(body === logText.replaceAll("\n", "\r\n") && !/(^|[^\r])\n/.test(body), "saved log: the log with CR LF", JSON.stringify(body.slice(0, 120)));

    const archives = process.env.MORVIK_ARCHIVES;
    for (const name of archives ? fs.readdirSync(archives).sort() : []) {
      for (const file of fs.readdirSync(path.join(archives, name))) {
        await sameAnswers(page, name, path.join(archives, name, file));
      }
      if (name === "no-index") await page.screenshot({ path: path.join(SHOTS, "web-page-no-index.png") });
      if (name === "empty") await page.screenshot({ path: path.join(SHOTS, "web-page-message.png") });
    }

    const real = process.env.MORVIK_REALDATA;
    const realZips = real && fs.existsSync(real) ? fs.readdirSync(real).filter((f) => f.endsWith(".zip")) : [];
    if (realZips.length === 0) console.log("skip real archive: none under " + real);
    for (const zip of realZips) {
      await sameAnswers(page, "real archive " + zip, path.join(real, zip));
      // The schema folder chosen with the folder picker.
      const picker = await page.$("#schemaFolder");
      await picker.uploadFile(path.join(real, "XSD"));
      // The input's change event may come after uploadFile has returned.
      await page.waitForFunction(() => /^XSD（/.test(document.getElementById("schemaName").textContent),
        { timeout: 10000 }).catch(() => {});
      const chosen = await page.evaluate(() => document.getElementById("schemaName").textContent);
      check(/^XSD（XSD \d+ 件）$/.test(chosen), "schema folder picked", chosen);
      await sameAnswers(page, "real archive, schema folder picked " + zip, path.join(real, zip), path.join(real, "XSD"));
      await page.click("#schemaClear");
    }

    // The largest archive accepted: at the limit the core runs (this one is
    // no ZIP file, so extraction fails); one byte above, the page refuses.
    for (const [size, expected] of [[MAX_ZIP_BYTES, "done"], [MAX_ZIP_BYTES + 1, "refused"]]) {
      const outcome = await page.evaluate(async (bytes) => {
        document.body.dataset.state = "ready";
        window.morvikChooseZip(new File([new Uint8Array(bytes)], "limit.zip"));
        document.getElementById("Command1").click();
        const deadline = Date.now() + 300000;
        while (!["done", "refused"].includes(document.body.dataset.state) && Date.now() < deadline) {
          await new Promise((r) => setTimeout(r, 100));
        }
        return { state: document.body.dataset.state, message: document.getElementById("messageText").textContent };
      }, size);
      check(outcome.state === expected, `archive of ${size} bytes: ${expected}`, JSON.stringify(outcome));
      if (expected === "refused") {
        check(outcome.message.includes("大きすぎます") && outcome.message.includes("268,435,456"),
          "the refusal names the limit", outcome.message);
      } else {
        check(outcome.message.includes("解凍に失敗しました"), "at the limit the core ran", outcome.message);
      }
    }
    ownFilesOnly("from disk", fromDisk.requests, pathToFileURL(SITE).href + "/");
    await page.close();

    // Served: the server sees the page's own files and nothing else, also
    // when the page's script tries to reach out.
    const base = `http://127.0.0.1:${port}/`;
    const served1 = await openPage(browser, base + "index.html");
    console.log(`page ready from a server in ${served1.loadMillis} ms`);
    await sameAnswers(served1.page, "demo archive, served", env("MORVIK_DEMO_ZIP"));
    const attempt = await served1.page.evaluate(() =>
      fetch("/probe").then(() => "sent", () => "refused"));
    check(attempt === "refused", "the page's policy refuses a request of its own script", attempt);
    const image = await served1.page.evaluate(() => new Promise((resolve) => {
      const img = new Image();
      img.onload = () => resolve("loaded");
      img.onerror = () => resolve("refused");
      img.src = "http://127.0.0.1:9/x.png";
    }));
    check(image === "refused", "the page's policy refuses another site's image", image);
    ownFilesOnly("served", served1.requests.filter((u) => !u.endsWith("/probe") && !u.endsWith("/x.png")), base);
    check(served.every((url) => SITE_FILES.includes(url.slice(1))) && !served.includes("/probe"),
      "served: the server saw the page's own files only", served.join("\n"));
    console.log(`requests the server saw: ${served.join(" ")}`);
  } finally {
    server.close();
    await browser.close();
    fs.rmSync(userData, { recursive: true, force: true });
  }
  console.log(`${passes} checks passed, ${failures} failed`);
  process.exit(failures === 0 ? 0 : 1);
}

main().catch((error) => {
  console.log("FAIL " + (error.stack || error));
  process.exit(1);
});
