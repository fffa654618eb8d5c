// Starting early.
//
// While the page and Ruffle's script load, the wasm module that Ruffle will ask for is
// already read and compiled, and the CJK font read: Ruffle's own loading then finds
// them ready. The module is the one Ruffle picks for this browser (the build with the
// WebAssembly extensions when all of them validate, as Ruffle tests them).
"use strict";

(function (page) {
  const { trace, xhr } = page;

  const early = (function () {
    const names = window.qmRuffleWasm || {};
    const probes = [
      [0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 3, 2, 1, 0, 5, 3, 1, 0, 1, 10, 14, 1, 12, 0,
       65, 0, 65, 0, 65, 0, 252, 10, 0, 0, 11],
      [0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10, 10, 1, 8, 0, 65, 0, 253,
       15, 253, 98, 11],
      [0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 3, 2, 1, 0, 10, 12, 1, 10, 0, 67, 0, 0, 0, 0,
       252, 0, 26, 11],
      [0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 3, 2, 1, 0, 10, 8, 1, 6, 0, 65, 0, 192, 26, 11],
      [0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 3, 2, 1, 0, 10, 7, 1, 5, 0, 208, 112, 26, 11],
    ];
    const files = new Map(); // absolute address -> Promise of its XHR, taken once
    let wasm = null; // {url, module: Promise}
    const extended = probes.every((bytes) => WebAssembly.validate(new Uint8Array(bytes)));
    const name = extended ? names.extended : names.plain;
    if (name) {
      const url = new URL("../ruffle/" + name, document.baseURI).href;
      trace("early-wasm " + name);
      const module = xhr(url).then((request) => {
        if (request.status !== 0 && request.status !== 200) throw new Error("no module");
        return WebAssembly.compile(request.response);
      });
      module.catch(() => {});
      wasm = { url, module };
    }
    return {
      // Reads a file ahead; the first fetch of it takes what was read.
      read(url) {
        const absolute = new URL(url, document.baseURI).href;
        if (!files.has(absolute)) files.set(absolute, xhr(absolute));
      },
      take(url) {
        const request = files.get(url);
        files.delete(url);
        return request;
      },
      wasm,
    };
  })();
  early.read("../font/cjk.ttf");

  // Qt 6.4 refuses fetch() of a custom scheme while XMLHttpRequest works; Ruffle fetches
  // its wasm and the movies, so fetches of the shell's own scheme go over XHR.
  const kEarlyHeader = "X-Qm-Early-Module";
  const nativeFetch = window.fetch.bind(window);
  window.fetch = function (input, init) {
    const url = typeof input === "string" ? input : input instanceof URL ? input.href : input.url;
    const absolute = new URL(url, document.baseURI);
    if (absolute.protocol !== "qm:") return nativeFetch(input, init);
    trace("fetch-start " + absolute.pathname);
    const respond = (request) => {
      const type = request.getResponseHeader("Content-Type") || "application/octet-stream";
      const status = request.status === 0 ? 200 : request.status;
      const response = new Response(status === 204 ? null : request.response, {
        status,
        headers: { "Content-Type": type },
      });
      Object.defineProperty(response, "url", { value: absolute.href });
      trace("fetch-end " + absolute.pathname);
      return response;
    };
    const method = (init && init.method) || "GET";
    if (method === "GET" && early.wasm !== null && absolute.href === early.wasm.url) {
      // Compiled already (or being compiled): the module is handed over at
      // instantiation; the response only marks it.
      return early.wasm.module.then(
        () => new Response(new Uint8Array(0), {
          status: 200,
          headers: { "Content-Type": "application/wasm", [kEarlyHeader]: "1" },
        }),
        () => xhr(absolute.href).then(respond),
      );
    }
    const ahead = method === "GET" ? early.take(absolute.href) : undefined;
    if (ahead !== undefined) return ahead.then(respond, () => xhr(absolute.href).then(respond));
    return new Promise((resolve, reject) => {
      const request = new XMLHttpRequest();
      request.open(method, absolute.href);
      request.responseType = "arraybuffer";
      request.onload = () => resolve(respond(request));
      request.onerror = () => reject(new TypeError("Failed to fetch " + absolute.href));
      request.send();
    });
  };

  // Ruffle instantiates the module it fetched: the early one when it was that one.
  const nativeInstantiateStreaming = WebAssembly.instantiateStreaming;
  WebAssembly.instantiateStreaming = async function (source, imports) {
    const response = await source;
    if (response instanceof Response && response.headers.get(kEarlyHeader) === "1") {
      const module = await early.wasm.module;
      const instance = await WebAssembly.instantiate(module, imports);
      return { module, instance };
    }
    return nativeInstantiateStreaming.call(WebAssembly, response, imports);
  };
})(qmPage);
