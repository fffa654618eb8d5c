// The page's reading of short texts out of the player's memory, on Node.js's
// TextDecoder: whatever the path, a text reads as the engine reads it.
"use strict";

const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
const test = require("node:test");
const vm = require("node:vm");

const web = path.join(__dirname, "../../../src/qt/web");
// The page patches the decoder class it finds; this one is the page's own.
class PageTextDecoder extends TextDecoder {}
const context = vm.createContext({
  console: { debug() {} },
  TextDecoder: PageTextDecoder,
  Uint8Array, // the memory views are made out here
});
for (const file of ["page.js", "short_strings.js"]) {
  vm.runInContext(fs.readFileSync(path.join(web, file), "utf8"), context, { filename: file });
}
const stats = vm.runInContext("qmPage.shortStrings.stats", context);
const native = new TextDecoder("utf-8", { ignoreBOM: true, fatal: true });
const bytes = (text) => new TextEncoder().encode(text);

test("texts read as the engine reads them, looked up only when short and ASCII", () => {
  const decoder = new context.TextDecoder("utf-8", { ignoreBOM: true, fatal: true });
  const memory = new Uint8Array(256);
  const cases = [
    // [text, looked up]
    ["rgba(26,41,57,1)", true],
    ["rgba(26,41,57,1)", true], // again: the same text
    ["rgba(26,41,75,1)", true], // same length and letters, another order
    ["", true],
    ["round", true],
    ["x".repeat(48), true],
    ["x".repeat(49), false],
    ["中文", false],
    ["caf\u00e9", false],
  ];
  for (const [text, looked] of cases) {
    const encoded = bytes(text);
    memory.set(encoded, 7); // a view into a larger memory, as Ruffle's are
    const view = memory.subarray(7, 7 + encoded.length);
    const before = stats.looked;
    assert.strictEqual(decoder.decode(view), native.decode(view), text);
    assert.strictEqual(stats.looked - before, looked ? 1 : 0, text);
  }
  memory.set(bytes("rgba(1,2,3,1)"), 0);
  const first = decoder.decode(memory.subarray(0, 13));
  memory.set(bytes("rgba(9,9,9,1)"), 0); // the memory changed under the same view
  assert.strictEqual(decoder.decode(memory.subarray(0, 13)), "rgba(9,9,9,1)");
  assert.strictEqual(first, "rgba(1,2,3,1)");
});

test("streams, other encodings, other inputs and bad bytes go to the engine", () => {
  const looked = stats.looked;
  const euro = bytes("\u20ac");
  const stream = new context.TextDecoder("utf-8");
  assert.strictEqual(stream.decode(euro.subarray(0, 2), { stream: true }), "");
  assert.strictEqual(stream.decode(euro.subarray(2)), "\u20ac"); // finishes the character
  const cases = [
    // [encoding, options, input]
    ["windows-1252", {}, new Uint8Array([0x41, 0x42])],
    ["utf-16le", {}, new Uint8Array([0x41, 0, 0x42, 0])],
    ["utf-8", {}, bytes("abc").buffer],
    ["utf-8", {}, new DataView(bytes("abc").buffer)],
    ["utf-8", {}, undefined],
  ];
  for (const [encoding, options, input] of cases) {
    const expected = new TextDecoder(encoding, options).decode(input);
    assert.strictEqual(new context.TextDecoder(encoding, options).decode(input), expected);
  }
  const fatal = new context.TextDecoder("utf-8", { fatal: true });
  assert.throws(() => fatal.decode(new Uint8Array([0x41, 0xff])), TypeError);
  assert.strictEqual(stats.looked, looked);
});
