// Ruffle's modules as the build serves them: without their "name" section, and
// otherwise the modules npm installed (the same imports, exports and other sections).
// Usage: node --test stripped_ruffle.test.js (QM_RUFFLE_DIR: the build's ruffle folder)
"use strict";

const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
const test = require("node:test");

const installed = path.join(__dirname, "../../../node_modules/@ruffle-rs/ruffle");
const built = process.env.QM_RUFFLE_DIR;

test("the served modules are the installed ones without their names", () => {
  const modules = fs.readdirSync(installed).filter((name) => name.endsWith(".wasm"));
  assert.ok(modules.length > 0);
  for (const name of modules) {
    const original = new WebAssembly.Module(fs.readFileSync(path.join(installed, name)));
    const served = fs.readFileSync(path.join(built, name));
    const stripped = new WebAssembly.Module(served);
    assert.ok(WebAssembly.Module.customSections(original, "name").length > 0, name);
    assert.strictEqual(WebAssembly.Module.customSections(stripped, "name").length, 0, name);
    assert.deepStrictEqual(WebAssembly.Module.imports(stripped), WebAssembly.Module.imports(original));
    assert.deepStrictEqual(WebAssembly.Module.exports(stripped), WebAssembly.Module.exports(original));
    for (const section of ["producers", "target_features"]) {
      const bytes = (module) =>
        WebAssembly.Module.customSections(module, section).map((b) => Buffer.from(b).toString("hex"));
      assert.deepStrictEqual(bytes(stripped), bytes(original), `${name}: ${section}`);
    }
    const size = fs.statSync(path.join(installed, name)).size;
    const dropped = size - served.length;
    const nameSection = WebAssembly.Module.customSections(original, "name")[0].byteLength;
    // The section's bytes plus its id, size and name (a few bytes).
    assert.ok(dropped > nameSection && dropped < nameSection + 16, `${name}: ${dropped} bytes`);
  }
});
