// The player and the host's operations on it (window.qm): loading a movie into a new
// Ruffle player, removing it, telling the host when the player gives up on a movie, the
// host's calls into the movie and the page's figures.
"use strict";

(function (page) {
  const { trace, frameGate, quietAudio, pacer, shellBridge } = page;
  const { toXml, readInvoke } = page.externalInterfaceXml;

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
    // Ruffle has built its instance (its wasm module's player, renderer and audio
    // output); the movie's fetch follows at once when the audio output runs by then.
    if (String(args[0]).startsWith("%cNew Ruffle instance created")) {
      trace("instance");
      if (quietAudio !== null) quietAudio.instanceBuilt();
    }
    if (!unloading && player !== null && String(args[0]).startsWith("Ruffle instance destroyed")) {
      console.debug("qm-movie-failed " + lastError);
    }
    consoleLog(...args);
  };

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
      player.onFSCommand = shellBridge.fsCommand;
      // Ruffle moves to its background clock only when the page becomes hidden; a
      // control that was never shown (the version movie) needs that clock from the start.
      // The clock ticks at the movie's frame rate as Ruffle knows it when the clock
      // starts, so it is started once the movie's header has been read.
      const loading = player;
      player.addEventListener("loadedmetadata", () => {
        if (loading !== player || !player.metadata) return;
        frameGate.movieLoaded();
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
  };

  // For movie_hooks.js: the player now (or null) and the calls into its movie.
  page.player = {
    current() {
      return player;
    },
    registered,
    callMovie,
    guarded,
  };
})(qmPage);
