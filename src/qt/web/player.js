// The page side of the Flash control: loads Ruffle from the shell's scheme, carries the
// movie's ExternalInterface calls and fscommands to the host, and offers the host the
// operations of the control (window.qm). The host answers window.prompt synchronously;
// that is the channel through which the movie waits for the shell.
"use strict";

(function () {
  const kCall = "\u0001qm-call";
  const kCommand = "\u0001qm-fscommand";

  // Qt 6.4 refuses fetch() of a custom scheme while XMLHttpRequest works; Ruffle fetches
  // its wasm and the movies, so fetches of the shell's own scheme go over XHR.
  const nativeFetch = window.fetch.bind(window);
  window.fetch = function (input, init) {
    const url = typeof input === "string" ? input : input instanceof URL ? input.href : input.url;
    const absolute = new URL(url, document.baseURI);
    if (absolute.protocol !== "qm:") return nativeFetch(input, init);
    return new Promise((resolve, reject) => {
      const xhr = new XMLHttpRequest();
      xhr.open((init && init.method) || "GET", absolute.href);
      xhr.responseType = "arraybuffer";
      xhr.onload = () => {
        const type = xhr.getResponseHeader("Content-Type") || "application/octet-stream";
        const status = xhr.status === 0 ? 200 : xhr.status;
        const response = new Response(status === 204 ? null : xhr.response, {
          status,
          headers: { "Content-Type": type },
        });
        Object.defineProperty(response, "url", { value: absolute.href });
        resolve(response);
      };
      xhr.onerror = () => reject(new TypeError("Failed to fetch " + absolute.href));
      xhr.send();
    });
  };

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
    const answer = window.prompt(kCall, invokeXml(name, args));
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
    load(options) {
      this.unload();
      const ruffle = window.RufflePlayer.newest();
      player = ruffle.createPlayer();
      document.getElementById("stage").appendChild(player);
      player.onFSCommand = (command, arg) => {
        window.prompt(kCommand, JSON.stringify([String(command), String(arg)]));
        return true;
      };
      // Ruffle moves to its background clock only when the page becomes hidden; a
      // control that was never shown (the version movie) needs that clock from the start.
      const loading = player;
      Promise.resolve(player.load(options)).then(() => {
        if (document.hidden && loading === player) {
          document.dispatchEvent(new Event("visibilitychange"));
        }
      });
      return true;
    },
    unload() {
      if (player !== null) {
        player.remove();
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
