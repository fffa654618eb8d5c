// The ExternalInterface XML: the values of the movie's calls and of the host's calls
// into the movie, written as the ActiveX control writes them and read as the shell
// writes them. No page state: the calls themselves are carried by shell_bridge.js
// and player.js.
"use strict";

(function (page) {
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

  page.externalInterfaceXml = { toXml, invokeXml, fromReply, readInvoke };
})(qmPage);
