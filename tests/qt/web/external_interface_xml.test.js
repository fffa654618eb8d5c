// The player page's ExternalInterface XML without a browser: the values of the movie's
// calls as the ActiveX control writes them, and the shell's replies and requests read
// back (the shell writes its texts unescaped).
"use strict";

const assert = require("node:assert");
const fs = require("node:fs");
const path = require("node:path");
const test = require("node:test");
const vm = require("node:vm");

const web = path.join(__dirname, "../../../src/qt/web");
const context = vm.createContext({ console: { debug() {} } });
for (const file of ["page.js", "external_interface_xml.js"]) {
  vm.runInContext(fs.readFileSync(path.join(web, file), "utf8"), context, { filename: file });
}
const { toXml, invokeXml, fromReply, readInvoke } = vm.runInContext(
  "qmPage.externalInterfaceXml",
  context,
);

// Values made in the page's context compare by structure here.
const plain = (value) => JSON.parse(JSON.stringify(value === undefined ? null : value));

test("values are written as the ActiveX control writes them", () => {
  const cases = [
    [null, "<null/>"],
    [undefined, "<undefined/>"],
    ["a<b>&\"c'", "<string>a&lt;b&gt;&amp;&quot;c&apos;</string>"],
    [2.5, "<number>2.5</number>"],
    [true, "<true/>"],
    [false, "<false/>"],
    [["x", 1], '<array><property id="0"><string>x</string></property>' +
               '<property id="1"><number>1</number></property></array>'],
    [{ "k&": [] }, '<object><property id="k&amp;"><array></array></property></object>'],
  ];
  for (const [value, xml] of cases) assert.strictEqual(toXml(value), xml, String(value));
});

test("a call's name and arguments read back as they were written", () => {
  const args = ["a<b & c", 7, true, null, ["in", { deep: "x" }], { "n\"m": false }];
  const call = readInvoke(invokeXml("f&g", args));
  assert.strictEqual(call.name, "f&g");
  assert.deepStrictEqual(plain(call.args), args);
});

test("a request without arguments has none", () => {
  for (const request of [
    '<invoke name="f" returntype="xml"><arguments/></invoke>',
    '<invoke name="f" returntype="xml"></invoke>',
  ]) {
    assert.deepStrictEqual(plain(readInvoke(request).args), [], request);
  }
});

test("a request that is not an invoke is refused", () => {
  assert.throws(() => readInvoke("<call name=\"f\"/>"), /Malformed ExternalInterface request/);
});

test("the shell's replies: unescaped texts, every kind of value, nothing for junk", () => {
  const cases = [
    ["<string>a < b & c</string>", "a < b & c"],
    ["  <string>x</string>y</string>  ", "x</string>y"], // up to the last closing tag
    ["<string>&lt;kept&gt;</string>", "&lt;kept&gt;"], // taken as it is
    ["<string/>", ""],
    ["<number>-3.5</number>", -3.5],
    ["<true/>", true],
    ["<null/>", null],
    ['<array><property id="0"><string>a&amp;b</string></property></array>', ["a&b"]],
    ['<object><property id="k"><false/></property></object>', { k: false }],
    ["<array><property", undefined],
    ["not xml", undefined],
  ];
  for (const [reply, value] of cases) {
    const read = fromReply(reply);
    if (value === undefined) assert.strictEqual(read, undefined, reply);
    else assert.deepStrictEqual(plain(read), value, reply);
  }
});
