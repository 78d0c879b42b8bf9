// The page: takes a ZIP file (and optionally a schema folder), runs the
// inspection core in a worker so that the page stays responsive, and shows
// the result log with its failures marked. Nothing is sent anywhere: the
// archive goes from the browser's file picker into the core's in-memory
// file system and the results come back as text.
"use strict";

// The largest ZIP file the page takes, and the most it may unpack to: the
// archive and its documents are held in the browser's memory.
const MAX_ZIP_BYTES = 256 * 1024 * 1024;
const MAX_EXTRACTED = "1G";
const MAX_ZIP_TEXT = "256MB";

// Where the worker puts the archive: it is extracted beside it, into a
// folder named like the ZIP file, and removed after the run.
const RUN_FOLDER = "/archive";
const SCHEMA_FOLDER = "/schema";

// Runs in the worker: MorvikCore is the core module's factory, handed over
// as source text.
function workerMain() {
  let core = null;
  const started = MorvikCore({
    print: () => {},
    printErr: () => {},
  }).then((module) => {
    core = module;
    postMessage({ type: "ready", version: module.ccall("morvik_version", "string", [], []) });
  });

  function removeTree(FS, path) {
    let stat;
    try { stat = FS.lstat(path); } catch (e) { return; }
    if (FS.isDir(stat.mode)) {
      for (const name of FS.readdir(path)) {
        if (name !== "." && name !== "..") removeTree(FS, path + "/" + name);
      }
      FS.rmdir(path);
    } else {
      FS.unlink(path);
    }
  }

  function makeParents(FS, path) {
    const parts = path.split("/").filter((p) => p !== "");
    let at = "";
    for (const part of parts.slice(0, -1)) {
      at += "/" + part;
      try { FS.mkdir(at); } catch (e) { /* already there */ }
    }
  }

  onmessage = async (event) => {
    await started;
    const job = event.data;
    const FS = core.FS;
    const runFolder = job.runFolder;
    removeTree(FS, runFolder);
    removeTree(FS, job.schemaRoot);
    FS.mkdir(runFolder);
    FS.writeFile(runFolder + "/" + job.zipName, new Uint8Array(job.zipBytes), { canOwn: true });
    let schemaArg = "";
    if (job.schemaFiles.length > 0) {
      FS.mkdir(job.schemaRoot);
      for (const file of job.schemaFiles) {
        const path = job.schemaRoot + "/" + file.path;
        makeParents(FS, path);
        FS.writeFile(path, new Uint8Array(file.bytes), { canOwn: true });
      }
      schemaArg = job.schemaRoot + "/" + job.schemaFiles[0].path.split("/")[0];
    }
    let last = 0;
    core.onProgress = (checked, documents) => {
      const now = Date.now();
      if (now - last >= 100 || checked === documents) {
        last = now;
        postMessage({ type: "progress", checked, documents });
      }
    };
    FS.chdir(runFolder);
    const began = performance.now();
    let status = 70;
    try {
      status = core.ccall("morvik_inspect", "number",
        ["string", "string", "string", "string", "string", "string", "string"],
        [job.zipName, schemaArg, job.maxExtracted, "/run.log", "/run.json", "/run.csv", "/run.err"]);
    } catch (error) {
      postMessage({ type: "done", status: 70, logBytes: new Uint8Array(0), log: "", json: "null",
        csvBytes: new Uint8Array(0), err: String(error), millis: 0 });
      return;
    }
    const millis = performance.now() - began;
    const read = (path) => { try { return FS.readFile(path); } catch (e) { return new Uint8Array(0); } };
    const text = (bytes) => new TextDecoder().decode(bytes);
    const logBytes = read("/run.log");
    const result = { type: "done", status, logBytes, log: text(logBytes), json: text(read("/run.json")),
      csvBytes: read("/run.csv"), err: text(read("/run.err")), millis };
    FS.chdir("/");
    removeTree(FS, runFolder);
    removeTree(FS, job.schemaRoot);
    postMessage(result);
  };
}

// The worker's source: the core's factory and workerMain. A worker made
// from the page's own text works opened from disk as well as served, where
// a worker script file would not load from file://.
function startWorker() {
  const source = "var _scriptDir = undefined;\nvar MorvikCore = " + MorvikCore.toString() +
    ";\n" + workerMain.toString() + "\nworkerMain();\n";
  const url = URL.createObjectURL(new Blob([source], { type: "text/javascript" }));
  const worker = new Worker(url);
  URL.revokeObjectURL(url);
  return worker;
}

const page = {
  worker: null,
  version: "",
  zipFile: null,
  schemaFiles: [],
  schemaName: "",
  running: false,
  failedLines: [],
  current: -1,
  result: null,
};

const $ = (id) => document.getElementById(id);

function setStatus(text) { $("ST_Msg").textContent = text; }

function showMessage(text, causes) {
  $("messageText").textContent = text;
  const list = $("messageCause");
  list.replaceChildren(...causes.map((line) => {
    const item = document.createElement("li");
    item.textContent = line;
    return item;
  }));
  $("message").hidden = false;
}

function hideMessage() { $("message").hidden = true; }

function chooseZip(file) {
  if (page.running || !file) return;
  hideMessage();
  page.zipFile = file;
  $("zipName").textContent = file.name + "（" + file.size.toLocaleString("ja-JP") + " バイト）";
  $("Command1").disabled = page.worker === null;
}

async function chooseSchema(files) {
  const xsd = Array.from(files).filter((f) => /\.xsd$/i.test(f.name));
  page.schemaFiles = xsd;
  page.schemaName = xsd.length > 0 ? xsd[0].webkitRelativePath.split("/")[0] : "";
  $("schemaName").textContent = xsd.length > 0
    ? page.schemaName + "（XSD " + xsd.length + " 件）" : "（ZIPファイル内のXSDフォルダ）";
  $("schemaClear").hidden = xsd.length === 0;
}

// The log's lines, with those of each failure entry marked. The entries are
// found from the report's facts: each failed document's message and detail
// lines, in the order of the log, after the line naming the document.
function renderLog(logText, report) {
  const lines = logText.split("\n");
  if (lines.length > 0 && lines[lines.length - 1] === "") lines.pop();
  const failedAt = new Set();
  let from = 0;
  const documents = report && Array.isArray(report.documents) ? report.documents : [];
  for (const doc of documents) {
    if (doc.verdict !== "failed") continue;
    for (let i = from; i < lines.length; ++i) {
      if (lines[i] === doc.message) {
        if (i > 0) failedAt.add(i - 1);
        failedAt.add(i);
        if (doc.detail !== null && doc.detail !== "" && lines[i + 1] === doc.detail) failedAt.add(i + 1);
        from = i + 1;
        break;
      }
    }
  }
  const box = $("log");
  const fragment = document.createDocumentFragment();
  page.failedLines = [];
  lines.forEach((line, i) => {
    const div = document.createElement("div");
    div.textContent = line;
    if (failedAt.has(i)) {
      div.className = "failed";
      if (!failedAt.has(i - 1)) page.failedLines.push(div);
    }
    fragment.appendChild(div);
  });
  box.replaceChildren(fragment);
  page.current = -1;
  $("prevError").disabled = $("nextError").disabled = page.failedLines.length === 0;
}

function goToError(step) {
  if (page.failedLines.length === 0) return;
  if (page.current >= 0) page.failedLines[page.current].classList.remove("current");
  page.current = (page.current + step + page.failedLines.length) % page.failedLines.length;
  const line = page.failedLines[page.current];
  line.classList.add("current");
  line.scrollIntoView({ block: "center" });
  setStatus("エラー " + (page.current + 1) + " / " + page.failedLines.length);
}

function countsText(report) {
  if (!report || !report.counts) return "";
  const c = report.counts;
  return "文書 " + c.documents.toLocaleString("ja-JP") + " 件　OK " + c.ok.toLocaleString("ja-JP") +
    " 件　エラー " + c.failed.toLocaleString("ja-JP") + " 件";
}

function start() {
  if (page.running || !page.zipFile || !page.worker) return;
  hideMessage();
  const file = page.zipFile;
  if (file.size > MAX_ZIP_BYTES) {
    document.body.dataset.state = "refused";
    showMessage("このZIPファイル（" + file.size.toLocaleString("ja-JP") + " バイト）は大きすぎます。" +
      "このページで調査できるのは " + MAX_ZIP_TEXT + "（" + MAX_ZIP_BYTES.toLocaleString("ja-JP") +
      " バイト）までです。より大きなファイルはデスクトップ版 Morvik か morvik-inspect で調査してください。", []);
    return;
  }
  page.running = true;
  $("Command1").disabled = true;
  $("result").hidden = true;
  document.body.dataset.state = "running";
  setStatus("ZIPファイルを読み込んでいます…");
  page.startedAt = new Date();
  Promise.all([file.arrayBuffer(), ...page.schemaFiles.map((f) => f.arrayBuffer())]).then(([zipBytes, ...schemaBytes]) => {
    const schemaFiles = page.schemaFiles.map((f, i) => ({ path: f.webkitRelativePath || f.name, bytes: schemaBytes[i] }));
    setStatus("解凍しています…");
    page.worker.postMessage({
      zipName: file.name, zipBytes, schemaFiles, maxExtracted: MAX_EXTRACTED,
      runFolder: RUN_FOLDER, schemaRoot: SCHEMA_FOLDER,
    }, [zipBytes, ...schemaBytes]);
  }, (error) => {
    page.running = false;
    $("Command1").disabled = false;
    showMessage("ZIPファイルを読み込めませんでした：" + error, []);
    setStatus("");
  });
}

function finished(result) {
  page.running = false;
  $("Command1").disabled = false;
  let report = null;
  try { report = JSON.parse(result.json); } catch (e) { report = null; }
  page.result = { ...result, report, zipName: page.zipFile.name, schemaName: page.schemaName, startedAt: page.startedAt };
  document.body.dataset.exitStatus = String(result.status);
  if (report && report.endedEarly) {
    showMessage(report.endedEarly.message, report.cause || []);
  } else if (result.status === 70) {
    showMessage("内部エラーが発生しました。お手数ですが、ZIPファイルと次の内容をお知らせください：" + result.err, []);
  } else if (report && report.cause && report.cause.length > 0) {
    showMessage(report.message || "", report.cause);
  }
  renderLog(result.log, report);
  $("counts").textContent = countsText(report);
  $("result").hidden = false;
  setStatus(result.status === 0 ? "調査が終わりました。すべて正常です。"
    : result.status === 1 ? "調査が終わりました。エラーがあります。"
    : "調査を中止しました。");
  document.body.dataset.state = "done";
}

// 「ログを保存」: the log as a file, UTF-8 after a byte-order mark, lines
// ended by CR LF, after a header naming the archive, the time, the schema
// folder, the version and the counts.
function logFileText() {
  const r = page.result;
  const pad = (n) => String(n).padStart(2, "0");
  const t = r.startedAt;
  const time = t.getFullYear() + "-" + pad(t.getMonth() + 1) + "-" + pad(t.getDate()) + " " +
    pad(t.getHours()) + ":" + pad(t.getMinutes()) + ":" + pad(t.getSeconds());
  const c = r.report && r.report.counts ? r.report.counts : { documents: 0, ok: 0, failed: 0 };
  const header = [
    "ZIPファイル：" + r.zipName,
    "調査日時：" + time,
    "スキーマフォルダ：" + (r.schemaName !== "" ? r.schemaName : "ZIPファイル内"),
    "プログラム：Morvik " + page.version + "（ブラウザ版）",
    "文書数：" + c.documents + "　OK：" + c.ok + "　エラー：" + c.failed,
    "",
  ];
  const body = r.log.endsWith("\n") ? r.log.slice(0, -1) : r.log;
  return "\uFEFF" + header.concat(body.split("\n")).join("\r\n") + "\r\n";
}

function save(text, name, type) {
  const url = URL.createObjectURL(new Blob([text], { type }));
  const link = document.createElement("a");
  link.href = url;
  link.download = name;
  document.body.appendChild(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 1000);
}

function stem() { return page.result.zipName.replace(/\.zip$/i, ""); }

function wire() {
  $("zipFile").addEventListener("change", (e) => chooseZip(e.target.files[0]));
  $("schemaFolder").addEventListener("change", (e) => chooseSchema(e.target.files));
  $("schemaClear").addEventListener("click", () => { chooseSchema([]); $("schemaFolder").value = ""; });
  if (!("webkitdirectory" in document.createElement("input"))) $("schemaPick").hidden = true;
  const drop = $("TX_XmlFnm");
  drop.addEventListener("dragover", (e) => { e.preventDefault(); drop.classList.add("over"); });
  drop.addEventListener("dragleave", () => drop.classList.remove("over"));
  drop.addEventListener("drop", (e) => {
    e.preventDefault();
    drop.classList.remove("over");
    if (e.dataTransfer.files.length > 0) chooseZip(e.dataTransfer.files[0]);
  });
  // A file dropped beside the box is not opened by the browser instead.
  window.addEventListener("dragover", (e) => e.preventDefault());
  window.addEventListener("drop", (e) => e.preventDefault());
  $("Command1").addEventListener("click", start);
  $("prevError").addEventListener("click", () => goToError(-1));
  $("nextError").addEventListener("click", () => goToError(1));
  $("errorsOnly").addEventListener("change", (e) => $("log").classList.toggle("errors-only", e.target.checked));
  $("saveLog").addEventListener("click", () => save(logFileText(), stem() + "_log.txt", "text/plain;charset=utf-8"));
  $("saveJson").addEventListener("click", () => save(page.result.json, stem() + ".json", "application/json"));
  // The core's CSV as it wrote it (UTF-8 with BOM, CR LF, for spreadsheets).
  $("saveCsv").addEventListener("click", () => save(page.result.csvBytes, stem() + ".csv", "text/csv"));

  const loadStart = performance.now();
  page.worker = startWorker();
  page.worker.onmessage = (event) => {
    const message = event.data;
    if (message.type === "ready") {
      page.version = message.version;
      page.loadMillis = performance.now() - loadStart;
      document.body.dataset.state = "ready";
      setStatus("ZIPファイルを選んで「調査開始」を押してください。");
      $("Command1").disabled = page.zipFile === null;
    } else if (message.type === "progress") {
      setStatus("調査中… " + message.checked.toLocaleString("ja-JP") + " / " +
        message.documents.toLocaleString("ja-JP") + " 件");
    } else if (message.type === "done") {
      finished(message);
    }
  };
  page.worker.onerror = (event) => {
    setStatus("");
    showMessage("調査部を起動できませんでした。新しいブラウザで開いてください。（" + (event.message || "") + "）", []);
  };
}

// For the tests and the benchmark: the page's state, read through the
// DevTools protocol.
window.morvikPage = page;
window.morvikLogFileText = logFileText;
window.morvikChooseZip = chooseZip;
wire();
