// Drawing only frames that change.
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
"use strict";

(function (page) {
  const { trace, Matrix2D } = page;
  let movieLoaded = false; // the movie's header has been read
  page.frameGate = (function () {
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
        page.pacer.frameDrawn(drawn);
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
      // released. A frame being held began on the shown canvas: the renderer draws a
      // frame in one call, so it is still shown (asking costs a trip into the engine
      // for every drawing command).
      direct() {
        if (this.held !== null) return false;
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

    return {
      stats,
      // The movie's header has been read: the next frame drawn is the movie's own.
      movieLoaded() {
        movieLoaded = true;
      },
    };
  })();
})(qmPage);
