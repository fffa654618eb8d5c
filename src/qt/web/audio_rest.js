// Audio output only while there is sound.
//
// Ruffle mixes its sounds into buffers and queues each one on its AudioContext as the
// one before ends, whether anything sounds or not; a running AudioContext keeps an
// audio thread of this page and the web engine's audio service busy all the time.
// After a second of silent buffers the output is suspended. Ruffle's buffers are then
// not played but ended on time, on a clock that runs on, so its mixer keeps pace; the
// first buffer with sound resumes the output and is played at its time. Ruffle sees a
// context that runs, with a clock that never jumps.
"use strict";

(function (page) {
  page.quietAudio = (function () {
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
    let handed = null; // the context made ahead, once the player took it

    class QuietAudioContext extends Native {
      constructor(...args) {
        if (spare !== null && JSON.stringify(args) === spare.key) {
          const context = spare.context;
          spare = null;
          handed = context;
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
      // buffer with sound comes, and runs as far as the player can tell: once Ruffle has
      // built its instance, it hides the player and waits 200 ms when its context does
      // not run yet (as a new one does not until the output has started).
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
      // Ruffle has built its instance: whether the context it took runs (its check).
      instanceBuilt() {
        stats.runningWhenBuilt = handed !== null && handed.state === "running";
      },
    };
  })();
})(qmPage);
