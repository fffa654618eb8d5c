// The page side of the Flash control: loads Ruffle from the shell's scheme, carries the
// movie's ExternalInterface calls and fscommands to the host, and offers the host the
// operations of the control (window.qm). The host answers window.prompt synchronously;
// that is the channel through which the movie waits for the shell.
"use strict";

(function () {
  const kCall = "\u0001qm-call";
  const kCommand = "\u0001qm-fscommand";

  // Start-up milestones, as wall-clock times the host can set against its own.
  function trace(what) {
    console.debug("qm-trace " + what + " " + Date.now());
  }
  trace("page-script");

  function xhr(url) {
    return new Promise((resolve, reject) => {
      const request = new XMLHttpRequest();
      request.open("GET", url);
      request.responseType = "arraybuffer";
      request.onload = () => resolve(request);
      request.onerror = () => reject(new TypeError("Failed to fetch " + url));
      request.send();
    });
  }

  // --- Starting early --------------------------------------------------------------------
  //
  // While the page and Ruffle's script load, the wasm module that Ruffle will ask for is
  // already read and compiled, and the CJK font read: Ruffle's own loading then finds
  // them ready. The module is the one Ruffle picks for this browser (the build with the
  // WebAssembly extensions when all of them validate, as Ruffle tests them).
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

  // --- Gamepads -----------------------------------------------------------------------
  //
  // Ruffle asks for the gamepads on every tick, and the first question starts the web
  // engine's gamepad polling in the shell's process. Flash movies have no gamepads.
  if (navigator.getGamepads) navigator.getGamepads = () => [];

  // --- Light matrices ------------------------------------------------------------------
  //
  // Ruffle's canvas renderer makes a DOMMatrix from six numbers for every shape and
  // glyph it draws, on every frame, and hands it to Path2D.addPath, setTransform and
  // CanvasPattern.setTransform; those take any object with the fields a..f. A native
  // matrix costs a trip into the engine each time (the largest single cost of a still
  // movie's frame), so a 2D matrix made from six numbers is a plain script object.
  // Ruffle also reads a..f, writes some of them and asks for the inverse; every other
  // form of the constructor makes a native matrix.
  const Matrix2D = (function () {
    const NativeDOMMatrix = window.DOMMatrix;
    if (!NativeDOMMatrix) return null;
    class Matrix2D {
      constructor(init) {
        if (init === undefined) {
          this.a = 1;
          this.b = 0;
          this.c = 0;
          this.d = 1;
          this.e = 0;
          this.f = 0;
        } else if (typeof init === "object" && init !== null && init.length === 6) {
          this.a = +init[0];
          this.b = +init[1];
          this.c = +init[2];
          this.d = +init[3];
          this.e = +init[4];
          this.f = +init[5];
        } else {
          return new NativeDOMMatrix(init);
        }
      }
      get is2D() {
        return true;
      }
      // As the native inverse: all fields NaN when there is none.
      inverse() {
        const m = new Matrix2D();
        const det = this.a * this.d - this.b * this.c;
        if (det === 0 || !Number.isFinite(det)) {
          m.a = m.b = m.c = m.d = m.e = m.f = NaN;
          return m;
        }
        m.a = this.d / det;
        m.b = -this.b / det;
        m.c = -this.c / det;
        m.d = this.a / det;
        m.e = (this.c * this.f - this.d * this.e) / det;
        m.f = (this.b * this.e - this.a * this.f) / det;
        return m;
      }
    }
    window.DOMMatrix = Matrix2D;
    return Matrix2D;
  })();

  // --- Audio output only while there is sound -------------------------------------------
  //
  // Ruffle mixes its sounds into buffers and queues each one on its AudioContext as the
  // one before ends, whether anything sounds or not; a running AudioContext keeps an
  // audio thread of this page and the web engine's audio service busy all the time.
  // After a second of silent buffers the output is suspended. Ruffle's buffers are then
  // not played but ended on time, on a clock that runs on, so its mixer keeps pace; the
  // first buffer with sound resumes the output and is played at its time. Ruffle sees a
  // context that runs, with a clock that never jumps.
  const quietAudio = (function () {
    const Native = window.AudioContext;
    if (!Native) return null;
    const kQuietAfter = 1; // seconds of silence before the output is suspended
    const stats = { suspends: 0, resumes: 0, faked: 0, sounding: 0, quiet: false };

    // Timers for the buffers that are not played. A page's own timers slow down to one
    // a second or less while it is hidden (a minimised window), so a hidden page takes
    // them from a worker; a shown page takes its own, which cost less.
    const clock = (function () {
      const waiting = new Map(); // id -> {callback, timer} (a page timer) or {callback}
      let nextId = 1;
      let worker;
      function start() {
        try {
          const source =
            "const t = new Map();" +
            "onmessage = (e) => { const [id, ms] = e.data;" +
            " if (ms < 0) { clearTimeout(t.get(id)); t.delete(id); return; }" +
            " t.set(id, setTimeout(() => { t.delete(id); postMessage(id); }, ms)); };";
          const url = URL.createObjectURL(new Blob([source], { type: "application/javascript" }));
          worker = new Worker(url);
          URL.revokeObjectURL(url);
          worker.onmessage = (e) => fire(e.data);
        } catch (e) {
          worker = null;
        }
      }
      function fire(id) {
        const entry = waiting.get(id);
        waiting.delete(id);
        if (entry) entry.callback();
      }
      return {
        set(callback, ms) {
          const id = nextId++;
          if (document.hidden && worker === undefined) start();
          if (document.hidden && worker) {
            waiting.set(id, { callback });
            worker.postMessage([id, ms]);
          } else {
            waiting.set(id, { callback, timer: setTimeout(() => fire(id), ms) });
          }
          return id;
        },
        clear(id) {
          const entry = waiting.get(id);
          if (entry === undefined) return;
          waiting.delete(id);
          if (entry.timer !== undefined) clearTimeout(entry.timer);
          else worker.postMessage([id, -1]);
        },
      };
    })();

    function silent(buffer) {
      for (let channel = 0; channel < buffer.numberOfChannels; channel++) {
        const data = buffer.getChannelData(channel);
        for (let i = 0; i < data.length; i++) if (data[i] !== 0) return false;
      }
      return true;
    }

    const nativeTime = Object.getOwnPropertyDescriptor(BaseAudioContext.prototype, "currentTime").get;
    const nativeState = Object.getOwnPropertyDescriptor(BaseAudioContext.prototype, "state").get;
    const nativeSuspend = Native.prototype.suspend;
    const nativeResume = Native.prototype.resume;
    const nativeClose = Native.prototype.close;
    const nativeStart = AudioBufferSourceNode.prototype.start;

    let spare = null; // {key, context}: made ahead for the player

    class QuietAudioContext extends Native {
      constructor(...args) {
        if (spare !== null && JSON.stringify(args) === spare.key) {
          const context = spare.context;
          spare = null;
          return context;
        }
        super(...args);
        this.qm = {
          offset: 0, // the clock minus the output's clock, while the output runs
          quiet: false, // the output is suspended for silence
          base: 0, // while quiet: the clock at `at` (performance.now())
          at: 0,
          held: false, // suspended by the player
          soundUntil: 0, // when the last buffer with sound ends
          playing: 0, // buffers queued on the output that have not ended
          fakes: new Set(), // {node, end, timer}: buffers ended by the clock
          closed: false,
        };
      }

      get currentTime() {
        const q = this.qm;
        if (!q.quiet) return nativeTime.call(this) + q.offset;
        return q.base + (q.held ? 0 : (performance.now() - q.at) / 1000);
      }

      get state() {
        const q = this.qm;
        if (q.quiet && !q.closed) return q.held ? "suspended" : "running";
        return nativeState.call(this);
      }

      suspend() {
        const q = this.qm;
        if (!q.quiet) {
          q.held = true;
          return nativeSuspend.call(this);
        }
        if (!q.held) {
          q.base = this.currentTime;
          q.held = true;
          for (const fake of q.fakes) clock.clear(fake.timer);
        }
        return Promise.resolve();
      }

      resume() {
        const q = this.qm;
        if (!q.quiet) {
          q.held = false;
          return nativeResume.call(this);
        }
        if (q.held) {
          q.held = false;
          q.at = performance.now();
          for (const fake of q.fakes) this.qmArm(fake);
        }
        return Promise.resolve();
      }

      close() {
        const q = this.qm;
        q.closed = true;
        for (const fake of q.fakes) clock.clear(fake.timer);
        q.fakes.clear();
        return nativeClose.call(this);
      }

      qmArm(fake) {
        const ms = Math.max(0, (fake.end - this.currentTime) * 1000);
        fake.timer = clock.set(() => {
          this.qm.fakes.delete(fake);
          if (!this.qm.closed) fake.node.dispatchEvent(new Event("ended"));
        }, ms);
      }

      // A buffer queued to start at `when` (the clock's time).
      qmStart(node, when) {
        const q = this.qm;
        const end = Math.max(when, this.currentTime) + node.buffer.duration;
        const sound = !silent(node.buffer);
        if (sound) q.soundUntil = Math.max(q.soundUntil, end);
        if (q.quiet && sound) this.qmWake();
        if (!q.quiet && (sound || when < q.soundUntil + kQuietAfter || q.held)) {
          q.playing++;
          if (sound) stats.sounding++; // buffers with sound played on the output
          node.addEventListener("ended", () => {
            q.playing--;
            this.qmSettle();
          }, { once: true });
          return nativeStart.call(node, Math.max(0, when - q.offset));
        }
        // Silent for a while: ended by the clock, not played.
        stats.faked++;
        const fake = { node, end, timer: 0 };
        q.fakes.add(fake);
        if (!q.held) this.qmArm(fake);
        this.qmSettle();
        return undefined;
      }

      // Suspends the output once the last buffer queued on it has ended in silence.
      qmSettle() {
        const q = this.qm;
        if (q.quiet || q.held || q.closed || q.playing > 0 || q.fakes.size === 0) return;
        q.base = this.currentTime;
        q.at = performance.now();
        q.quiet = true;
        stats.suspends++;
        stats.quiet = true;
        nativeSuspend.call(this).catch(() => {});
      }

      qmWake() {
        const q = this.qm;
        const now = this.currentTime;
        q.quiet = false;
        stats.resumes++;
        stats.quiet = false;
        // The output's clock stood still while it was suspended.
        q.offset = now - nativeTime.call(this);
        if (!q.held) nativeResume.call(this).catch(() => {});
      }
    }

    AudioBufferSourceNode.prototype.start = function (when, ...rest) {
      const context = this.context;
      if (!(context instanceof QuietAudioContext) || rest.length > 0 || this.buffer === null) {
        if (context instanceof QuietAudioContext && context.qm.quiet) context.qmWake();
        const offset = context instanceof QuietAudioContext ? context.qm.offset : 0;
        return nativeStart.call(this, when === undefined ? 0 : Math.max(0, when - offset), ...rest);
      }
      return context.qmStart(this, when === undefined ? 0 : Number(when));
    };
    window.AudioContext = QuietAudioContext;
    return {
      stats,
      // Makes the context Ruffle will ask for (with these options) while the page waits
      // for Ruffle's module: making one takes the page 100-150 ms. It rests until a
      // buffer with sound comes.
      prepare(options) {
        if (spare !== null || window.AudioContext !== QuietAudioContext) return;
        const context = new QuietAudioContext(options);
        const q = context.qm;
        q.quiet = true;
        q.base = 0;
        q.at = performance.now();
        stats.quiet = true;
        nativeSuspend.call(context).catch(() => {});
        spare = { key: JSON.stringify([options]), context };
      },
    };
  })();

  // --- Drawing only frames that change -------------------------------------------------
  //
  // Ruffle's canvas renderer draws the whole stage on every frame of the movie, also
  // when nothing moves; each drawn frame is rasterised, composited and handed to the
  // window. The drawing commands of a frame on the visible canvas are therefore held
  // and compared with those of the frame before: the same commands on the same
  // unchanged objects give the same pixels, and such a frame is not drawn at all.
  // A frame ends at the next microtask checkpoint (the renderer draws a frame in one
  // synchronous call). Whatever could make equal commands draw differently (a change to
  // another canvas, a pattern, a gradient, a path, the colour filters' SVG, the canvas
  // size) makes the frame count as changed; whatever needs the canvas's real state
  // mid-frame (a read) ends the holding for that frame and draws what was held.
  let movieLoaded = false; // the movie's header has been read
  const frameGate = (function () {
    const stats = { frames: 0, drawn: 0, movieFrame: false };
    // What each drawing object looks like, as text: objects made anew for every frame
    // (stroke paths, gradients, patterns) compare by content, not by identity.
    const looks = new WeakMap();
    const ids = new WeakMap();
    let nextId = 0;
    let svgChanges = 0; // changes to the SVG the colour filters are made of
    const recording = new Set(); // gates holding a frame now

    function idOf(object) {
      let id = ids.get(object);
      if (id === undefined) {
        id = ++nextId;
        ids.set(object, id);
      }
      return id;
    }

    // The comparable form of an argument, or null for an object whose content cannot be
    // followed (image data, a video frame, ...).
    function key(value) {
      if (value === null || typeof value !== "object") return value;
      const look = looks.get(value);
      if (look !== undefined) return look;
      if (
        (window.DOMMatrixReadOnly && value instanceof DOMMatrixReadOnly) ||
        (Matrix2D !== null && value instanceof Matrix2D)
      ) {
        return "M" + [value.a, value.b, value.c, value.d, value.e, value.f].join(",");
      }
      if (value instanceof HTMLCanvasElement) return "C" + idOf(value) + ":0";
      if (window.ImageBitmap && value instanceof ImageBitmap) return "B" + idOf(value);
      if (
        value instanceof CanvasPattern ||
        value instanceof CanvasGradient ||
        (window.Path2D && value instanceof Path2D)
      ) {
        return "O" + idOf(value); // made before the page could follow it
      }
      return null;
    }

    // A drawing object changed: its look grows by the change, and a frame holding it
    // must be drawn now, with the object as it was.
    function changed(object, change) {
      const look = key(object);
      looks.set(object, (look === null ? "O" + idOf(object) : look) + change);
      for (const gate of recording) if (gate.objects.has(object)) gate.release();
    }

    const list = (args) => args.map((a) => (typeof a === "object" && a !== null ? key(a) : a)).join(",");

    function wrap(proto, name, before) {
      const native = proto && proto[name];
      if (typeof native !== "function") return;
      proto[name] = function (...args) {
        before(this, args);
        return native.apply(this, args);
      };
    }
    if (window.Path2D) {
      const NativePath2D = window.Path2D;
      window.Path2D = class Path2D extends NativePath2D {
        constructor(...args) {
          super(...args);
          looks.set(this, "P(" + list(args) + ")");
        }
      };
      for (const name of ["addPath", "closePath", "moveTo", "lineTo", "bezierCurveTo",
                          "quadraticCurveTo", "arc", "arcTo", "ellipse", "rect", "roundRect"]) {
        wrap(NativePath2D.prototype, name, (path, args) => changed(path, name + "(" + list(args) + ")"));
      }
    }
    if (window.CanvasPattern) {
      wrap(CanvasPattern.prototype, "setTransform", (pattern, args) => {
        const look = key(pattern) || "";
        const base = look.replace(/\|T.*$/, "");
        looks.set(pattern, base + "|T" + list(args));
        for (const gate of recording) if (gate.objects.has(pattern)) gate.release();
      });
    }
    wrap(CanvasGradient.prototype, "addColorStop", (gradient, args) =>
      changed(gradient, "+" + list(args)));
    // A canvas drawn on: its look counts the drawings.
    const drawnOn = (canvas) => {
      const look = key(canvas);
      const [head, count] = look.split(":");
      looks.set(canvas, head + ":" + (Number(count) + 1));
      for (const gate of recording) if (gate.objects.has(canvas)) gate.release();
    };
    const svgChanged = () => {
      svgChanges++;
      for (const gate of recording) gate.release();
    };
    wrap(Element.prototype, "setAttribute", (element, [name, value]) => {
      if (element instanceof SVGElement && element.getAttribute(name) !== String(value)) {
        svgChanged();
      }
    });
    wrap(Element.prototype, "setAttributeNS", (element, [, name, value]) => {
      if (element instanceof SVGElement && element.getAttribute(name) !== String(value)) {
        svgChanged();
      }
    });
    for (const name of ["appendChild", "removeChild", "insertBefore", "replaceChild"]) {
      wrap(Node.prototype, name, (node) => {
        if (node instanceof SVGElement) svgChanged();
      });
    }

    // Methods that only make objects: they run at once and change nothing drawn.
    const makers = new Set([
      "createLinearGradient", "createRadialGradient", "createConicGradient", "createPattern",
      "createImageData",
    ]);

    class Gate {
      constructor(canvas, context) {
        this.canvas = canvas;
        this.context = context;
        this.held = null; // [name or "=property", arguments or value] of this frame
        this.keys = null; // the comparable form of the held frame
        this.objects = null; // the objects the held frame uses
        this.last = null; // keys of the frame drawn last
        this.passing = false; // drawing straight through until this frame ends
        this.dirty = true; // the next frame is drawn whatever it holds
        this.methods = new Map();
        this.proxy = new Proxy(context, {
          get: (target, prop) => this.get(target, prop),
          set: (target, prop, value) => this.set(target, prop, value),
        });
      }

      begin() {
        this.held = [];
        this.keys = [svgChanges];
        this.objects = new Set();
        recording.add(this);
        queueMicrotask(() => this.end());
      }

      // Draws what is held and lets the rest of the frame through.
      release() {
        if (this.held === null) return;
        recording.delete(this);
        this.replay();
        this.held = this.keys = this.objects = this.last = null;
        this.passing = true;
        queueMicrotask(() => {
          this.passing = false;
        });
      }

      end() {
        if (this.held === null) return;
        recording.delete(this);
        stats.frames++;
        const drawn = this.dirty || this.last === null || !equal(this.keys, this.last);
        if (drawn) {
          stats.drawn++;
          if (stats.movieFrame === false && movieLoaded) {
            // The movie's first frame (Ruffle draws an empty stage before it).
            stats.movieFrame = true;
            trace("movie-frame");
            console.debug("qm-first-frame"); // the host waits for it
          }
          this.replay();
          this.last = this.keys;
          this.dirty = false;
        }
        pacer.frameDrawn(drawn);
        this.held = this.keys = this.objects = null;
      }

      replay() {
        const c = this.context;
        for (const [name, args] of this.held) {
          if (name[0] === "=") c[name.slice(1)] = args;
          else c[name](...args);
        }
      }

      note(value) {
        if (value !== null && typeof value === "object") {
          const k = key(value);
          if (k === null) this.dirty = true;
          this.objects.add(value);
          this.keys.push(k);
        } else {
          this.keys.push(value);
        }
      }

      // Whether drawing now goes straight to the canvas: the canvas is not shown (a
      // bitmap or a scratch canvas: a source for the shown one), or the frame was
      // released.
      direct() {
        if (!this.canvas.isConnected) {
          drawnOn(this.canvas);
          return true;
        }
        return this.passing;
      }

      get(target, prop) {
        const value = Reflect.get(target, prop, target);
        if (typeof value !== "function") {
          if (prop !== "canvas") this.release(); // a read of the drawing state
          return value;
        }
        let method = this.methods.get(prop);
        if (method === undefined) {
          const reads = typeof prop !== "string" || /^(get|is|measure)/.test(prop);
          method = (...args) => {
            if (makers.has(prop)) {
              const made = value.apply(target, args);
              if (made !== null && typeof made === "object") looks.set(made, prop + "(" + list(args) + ")");
              return made;
            }
            if (this.direct()) return value.apply(target, args);
            if (reads) {
              this.release();
              return value.apply(target, args);
            }
            if (this.held === null) this.begin();
            this.held.push([prop, args]);
            this.keys.push(prop, args.length);
            for (const a of args) this.note(a);
            return undefined;
          };
          this.methods.set(prop, method);
        }
        return method;
      }

      set(target, prop, value) {
        if (typeof prop !== "string" || this.direct()) return Reflect.set(target, prop, value, target);
        if (this.held === null) this.begin();
        this.held.push(["=" + prop, value]);
        this.keys.push("=" + prop);
        this.note(value);
        return true;
      }
    }

    function equal(a, b) {
      if (a.length !== b.length) return false;
      for (let i = 0; i < a.length; i++) if (a[i] !== b[i]) return false;
      return true;
    }

    const gates = new WeakMap(); // canvas -> its gate
    const nativeGetContext = HTMLCanvasElement.prototype.getContext;
    HTMLCanvasElement.prototype.getContext = function (type, ...rest) {
      const context = nativeGetContext.call(this, type, ...rest);
      if (type !== "2d" || context === null) return context;
      let gate = gates.get(this);
      if (gate === undefined || gate.context !== context) {
        gate = new Gate(this, context);
        gates.set(this, gate);
      }
      return gate.proxy;
    };

    // A new size clears the canvas: what was held is drawn first, and the next frame
    // is drawn whatever it holds.
    for (const dimension of ["width", "height"]) {
      const property = Object.getOwnPropertyDescriptor(HTMLCanvasElement.prototype, dimension);
      Object.defineProperty(HTMLCanvasElement.prototype, dimension, {
        ...property,
        set(value) {
          const gate = gates.get(this);
          if (gate !== undefined) {
            gate.release();
            gate.dirty = true;
          }
          drawnOn(this);
          property.set.call(this, value);
        },
      });
    }

    return { stats };
  })();

  // --- Pacing the player at the movie's frame rate ---------------------------------------
  //
  // Ruffle asks for an animation frame on every display refresh and runs a movie frame
  // when its time has come. While the page is shown, its animation frames come from a
  // timer at the movie's own frame rate instead (at most the display's 60 Hz): the
  // same movie frames, without waking the page and its compositor 60 times a second
  // for nothing. A hidden page keeps the browser's own (paused) animation frames.
  const pacer = (function () {
    const nativeRequest = window.requestAnimationFrame.bind(window);
    const nativeCancel = window.cancelAnimationFrame.bind(window);
    let frameTime = 1000 / 60; // the movie's frame time, at least a display refresh
    let interval = frameTime; // between animation frames now
    let unchanged = 0; // frames in a row that drew nothing new
    let due = 0;
    let nextId = 1;
    let frameCost = 0; // what one movie frame costs the player, in ms (an upper bound)
    const waiting = new Map(); // our id -> {callback, timer, frames} or {native}

    function fire(id) {
      const entry = waiting.get(id);
      if (entry === undefined) return;
      waiting.delete(id);
      const start = performance.now();
      entry.callback(start);
      if (entry.frames !== undefined) {
        // The player's whole tick (its frames and the drawing) over the frames it was
        // due to run: more than a frame alone costs.
        const cost = (performance.now() - start) / entry.frames;
        frameCost = frameCost === 0 ? cost : 0.8 * frameCost + 0.2 * cost;
      }
    }

    // Movie frames per animation frame while the picture stands still. Ruffle runs at
    // most as many frames in one tick as fit into a frame's time at what its frames
    // have cost lately (and never more than five); time beyond that is dropped, and the
    // movie would run slow. So a movie whose frames cost much runs fewer per tick.
    function stillStep() {
      if (frameCost <= 0) return 1;
      return Math.max(1, Math.min(4, Math.floor(frameTime / frameCost)));
    }

    window.requestAnimationFrame = function (callback) {
      const id = nextId++;
      if (document.hidden) {
        waiting.set(id, { native: nativeRequest(() => fire(id)), callback });
        return id;
      }
      const now = performance.now();
      due = Math.min(Math.max(due + interval, now), now + interval);
      const frames = Math.max(1, Math.round(interval / frameTime));
      waiting.set(id, { timer: setTimeout(() => fire(id), due - now), callback, frames });
      return id;
    };
    window.cancelAnimationFrame = function (id) {
      const entry = waiting.get(id);
      if (entry === undefined) return;
      waiting.delete(id);
      if (entry.native !== undefined) nativeCancel(entry.native);
      else clearTimeout(entry.timer);
    };

    // Back to the movie's own rate at once: a frame changed, or the user acts.
    function wake() {
      unchanged = 0;
      if (interval === frameTime) return;
      interval = frameTime;
      const now = performance.now();
      if (due > now + interval) {
        due = now;
        for (const [id, entry] of waiting) {
          if (entry.timer === undefined) continue;
          clearTimeout(entry.timer);
          entry.timer = setTimeout(() => fire(id), 0);
        }
      }
    }
    for (const type of ["pointerdown", "pointerup", "pointermove", "wheel", "keydown", "keyup"]) {
      window.addEventListener(type, wake, { capture: true, passive: true });
    }

    return {
      setFrameRate(fps) {
        frameTime = fps > 0 ? Math.max(1000 / 60, 1000 / fps) : 1000 / 60;
        interval = frameTime;
        unchanged = 0;
      },
      // After a second of frames that changed nothing, the player runs up to four movie
      // frames per animation frame (it catches up on the time that passed, so the movie
      // keeps its timing): the movie's scripts run as before, the unchanged picture is
      // looked at a quarter as often.
      frameDrawn(drawn) {
        if (drawn) {
          wake();
        } else if (++unchanged * frameTime >= 1000) {
          interval = stillStep() * frameTime;
        }
      },
      stillStep,
    };
  })();

  // --- The ExternalInterface XML -------------------------------------------------------

  function escapeXml(s) {
    return s
      .replace(/&/g, "&amp;")
      .replace(/</g, "&lt;")
      .replace(/>/g, "&gt;")
      .replace(/"/g, "&quot;")
      .replace(/'/g, "&apos;");
  }

  function unescapeXml(s) {
    return s.replace(/&(lt|gt|amp|quot|apos);/g, (m, name) => {
      return { lt: "<", gt: ">", amp: "&", quot: '"', apos: "'" }[name];
    });
  }

  // A value as the ActiveX control writes it in requests and replies.
  function toXml(v) {
    if (v === null) return "<null/>";
    switch (typeof v) {
      case "undefined":
        return "<undefined/>";
      case "string":
        return "<string>" + escapeXml(v) + "</string>";
      case "number":
        return "<number>" + String(v) + "</number>";
      case "boolean":
        return v ? "<true/>" : "<false/>";
      case "object":
        if (Array.isArray(v)) {
          return (
            "<array>" +
            v.map((x, i) => '<property id="' + i + '">' + toXml(x) + "</property>").join("") +
            "</array>"
          );
        }
        return (
          "<object>" +
          Object.keys(v)
            .map((k) => '<property id="' + escapeXml(k) + '">' + toXml(v[k]) + "</property>")
            .join("") +
          "</object>"
        );
      default:
        return "<null/>";
    }
  }

  function invokeXml(name, args) {
    return (
      '<invoke name="' +
      escapeXml(String(name)) +
      '" returntype="xml"><arguments>' +
      args.map(toXml).join("") +
      "</arguments></invoke>"
    );
  }

  // Reads values from XML written by the shell, which does not escape its texts: a
  // <string> runs to its closing tag, and only well-formed references are decoded.
  class Reader {
    constructor(text, pos) {
      this.text = text;
      this.pos = pos || 0;
    }
    fail(what) {
      throw new Error("Malformed ExternalInterface XML: " + what + " at " + this.pos);
    }
    skipBlanks() {
      while (this.pos < this.text.length && /\s/.test(this.text[this.pos])) this.pos++;
    }
    eat(token) {
      this.skipBlanks();
      if (this.text.startsWith(token, this.pos)) {
        this.pos += token.length;
        return true;
      }
      return false;
    }
    expect(token) {
      if (!this.eat(token)) this.fail("expected " + token);
    }
    until(token) {
      const end = this.text.indexOf(token, this.pos);
      if (end < 0) this.fail("missing " + token);
      const s = this.text.slice(this.pos, end);
      this.pos = end + token.length;
      return s;
    }
    value() {
      if (this.eat("<string/>")) return "";
      if (this.eat("<string>")) return unescapeXml(this.until("</string>"));
      if (this.eat("<number>")) return Number(this.until("</number>"));
      if (this.eat("<true/>")) return true;
      if (this.eat("<false/>")) return false;
      if (this.eat("<null/>")) return null;
      if (this.eat("<undefined/>")) return undefined;
      if (this.eat("<array/>")) return [];
      if (this.eat("<object/>")) return {};
      const array = this.eat("<array>");
      if (array || this.eat("<object>")) {
        const result = array ? [] : {};
        while (this.eat('<property id="')) {
          const id = unescapeXml(this.until('"'));
          this.expect(">");
          result[id] = this.value();
          this.expect("</property>");
        }
        this.expect(array ? "</array>" : "</object>");
        return result;
      }
      this.fail("unknown value");
    }
  }

  // The reply handed to SetReturnValue, as the value of the movie's call. The text of a
  // <string> reply is everything up to the last closing tag, taken as it is: the shell
  // sends its texts unescaped.
  function fromReply(reply) {
    const t = reply.trim();
    if (t.startsWith("<string>")) {
      const end = t.lastIndexOf("</string>");
      if (end >= 8) return t.slice(8, end);
    }
    try {
      const reader = new Reader(t);
      const value = reader.value();
      reader.skipBlanks();
      return value;
    } catch (e) {
      return undefined;
    }
  }

  function readInvoke(request) {
    const m = /^\s*<invoke\s+name\s*=\s*"([^"]*)"[^>]*>/.exec(request);
    if (!m) throw new Error("Malformed ExternalInterface request");
    const reader = new Reader(request, m[0].length);
    const args = [];
    if (reader.eat("<arguments>")) {
      while (!reader.eat("</arguments>")) args.push(reader.value());
    } else {
      reader.eat("<arguments/>");
    }
    return { name: unescapeXml(m[1]), args };
  }

  // --- The movie's calls into the shell ------------------------------------------------

  function callShell(name, args) {
    trace("call " + name);
    const answer = window.prompt(kCall, invokeXml(name, args));
    trace("call-end " + name);
    if (typeof answer !== "string" || answer[0] !== "1") return undefined;
    return fromReply(answer.slice(1));
  }

  // Ruffle runs ExternalInterface.call(name, ...) as the expression `name` of this
  // exact source text. Every such call is the movie's call into the shell, whatever
  // the name (the pinned Ruffle version builds it this way).
  const kExternalCall = /^return \(([\s\S]*)\)\(\.\.\.arguments\);$/;
  function externalCall(args) {
    if (args.length !== 1 || typeof args[0] !== "string") return null;
    const m = kExternalCall.exec(args[0]);
    if (!m) return null;
    const name = m[1];
    return function (...callArgs) {
      return callShell(name, callArgs);
    };
  }
  const NativeFunction = window.Function;
  window.Function = new Proxy(NativeFunction, {
    construct(target, args, newTarget) {
      return externalCall(args) || Reflect.construct(target, args, newTarget);
    },
    apply(target, self, args) {
      return externalCall(args) || Reflect.apply(target, self, args);
    },
  });

  // --- The host's operations -----------------------------------------------------------

  let player = null;

  // A movie the player cannot play: Ruffle shows its error screen and destroys its
  // instance. The host is told, with the last error the player reported (its log lines
  // carry %c style marks and the styles as further arguments).
  let unloading = false; // the page removes the player itself (synchronously)
  let lastError = "";
  const consoleError = console.error.bind(console);
  console.error = function (...args) {
    lastError = String(args[0]).replace(/%c/g, "").trim();
    consoleError(...args);
  };
  const consoleLog = console.log.bind(console);
  console.log = function (...args) {
    if (!unloading && player !== null && String(args[0]).startsWith("Ruffle instance destroyed")) {
      console.debug("qm-movie-failed " + lastError);
    }
    consoleLog(...args);
  };
  const kGetVariable = "__qm_getvariable";
  const kPlay = "__qm_play";
  const kStop = "__qm_stop";

  function registered(name) {
    return player !== null && Object.prototype.hasOwnProperty.call(player, name);
  }

  function callMovie(name, args) {
    if (!registered(name)) throw new Error("The movie has no function named " + name);
    return player.ruffle().callExternalInterface(name, ...args);
  }

  // Every operation answers {ok, value} or {ok: false, error}: errors go back to the
  // host as text.
  function guarded(run) {
    try {
      return { ok: true, value: run() };
    } catch (e) {
      return { ok: false, error: String(e && e.message ? e.message : e) };
    }
  }

  window.qm = {
    frameStats() {
      return frameGate.stats;
    },
    audioStats() {
      return quietAudio === null ? null : quietAudio.stats;
    },
    // host: what the shell asks of the page beyond Ruffle's options. {sound: false} for
    // a control that is never shown: its page opens no audio output (Ruffle then plays
    // without sound); it holds for the page's first movie, which loads Ruffle's core.
    load(options, host) {
      trace("load");
      this.unload();
      if (host && host.sound === false) {
        window.AudioContext = undefined;
        window.webkitAudioContext = undefined;
      }
      const ruffle = window.RufflePlayer.newest();
      player = ruffle.createPlayer();
      document.getElementById("stage").appendChild(player);
      // While Ruffle's module is read and compiled, the page lays out the player and a
      // line of text (the first text laid out reads the system's fonts: 150-250 ms) and
      // makes the audio context Ruffle asks for (the sample rate of the pinned version).
      // Both would otherwise come after the compilation, one after the other.
      const waiting = player;
      setTimeout(() => {
        if (waiting !== player) return;
        void player.clientWidth;
        const probe = document.createElement("div");
        probe.style.cssText = "position:absolute;left:-9999px;top:0;font:14px sans-serif";
        probe.textContent = "Aa \u4e2d\u6587 0123";
        document.body.appendChild(probe);
        void probe.offsetWidth;
        probe.remove();
        trace("laid-out");
        if (quietAudio !== null) quietAudio.prepare({ sampleRate: 44100 });
        trace("audio-ready");
      }, 0);
      player.onFSCommand = (command, arg) => {
        window.prompt(kCommand, JSON.stringify([String(command), String(arg)]));
        return true;
      };
      // Ruffle moves to its background clock only when the page becomes hidden; a
      // control that was never shown (the version movie) needs that clock from the start.
      // The clock ticks at the movie's frame rate as Ruffle knows it when the clock
      // starts, so it is started once the movie's header has been read.
      const loading = player;
      player.addEventListener("loadedmetadata", () => {
        if (loading !== player || !player.metadata) return;
        movieLoaded = true;
        pacer.setFrameRate(player.metadata.frameRate);
        if (document.hidden) document.dispatchEvent(new Event("visibilitychange"));
      });
      Promise.resolve(player.load(options)).then(() => trace("loaded"));
      return true;
    },
    unload() {
      if (player !== null) {
        unloading = true;
        try {
          player.remove();
        } finally {
          unloading = false;
        }
        player = null;
      }
      return true;
    },
    callFunction(request) {
      return guarded(() => {
        const call = readInvoke(request);
        return toXml(callMovie(call.name, call.args));
      });
    },
    getVariable(name) {
      return guarded(() => {
        if (!registered(kGetVariable)) {
          if (player !== null && player.metadata && player.metadata.isActionScript3) {
            throw new Error("Variables can be read only from ActionScript 1 and 2 movies");
          }
          return { pending: true };  // the first frame has not run yet
        }
        const value = callMovie(kGetVariable, [name]);
        if (value === null || value === undefined) throw new Error("No variable " + name);
        return String(value);
      });
    },
    setPlaying(playing) {
      return guarded(() => {
        if (registered(kPlay)) {
          callMovie(playing ? kPlay : kStop, []);
        } else if (player !== null && player.ruffle) {
          // Movies without the timeline hooks (ActionScript 3): the whole player.
          playing ? player.ruffle().resume() : player.ruffle().suspend();
        }
        return true;
      });
    },
  };
})();
