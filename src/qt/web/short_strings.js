// Short strings from the player's memory.
//
// Ruffle's canvas renderer hands the canvas a colour as text ("rgba(26,41,57,1)") for
// every shape and glyph it fills, on every frame; each one is read out of the player's
// memory with a TextDecoder, a trip into the engine and a new string each time (about a
// thousand a frame for a page of text, the largest single cost of a still movie). A
// short UTF-8 text of ASCII bytes is looked up among the texts read before instead, by
// its bytes. Anything else (a longer text, other bytes, a decoder reading a stream,
// another encoding, options) goes to the engine as before.
"use strict";

(function (page) {
  page.shortStrings = (function () {
    const Decoder = globalThis.TextDecoder;
    if (!Decoder) return null;
    const nativeDecode = Decoder.prototype.decode;
    const kLongest = 48; // bytes
    const kKept = 4096; // texts; all are forgotten when there are more
    const kept = new Map(); // hash -> [{bytes, text}]
    let count = 0;
    const streaming = new WeakSet(); // decoders that have held back part of a character
    const stats = { looked: 0 }; // texts looked up, for the tests

    // The text of `bytes` when they are all ASCII, else null.
    function lookUp(bytes) {
      const length = bytes.length;
      let hash = length;
      for (let i = 0; i < length; i++) {
        const byte = bytes[i];
        if (byte > 0x7f) return null;
        hash = (Math.imul(hash, 31) + byte) | 0;
      }
      stats.looked++;
      let bucket = kept.get(hash);
      if (bucket !== undefined) {
        outer: for (const entry of bucket) {
          const known = entry.bytes;
          if (known.length !== length) continue;
          for (let i = 0; i < length; i++) if (known[i] !== bytes[i]) continue outer;
          return entry.text;
        }
      } else {
        if (count >= kKept) {
          kept.clear();
          count = 0;
        }
        bucket = [];
        kept.set(hash, bucket);
      }
      const text = String.fromCharCode.apply(null, bytes);
      bucket.push({ bytes: Uint8Array.from(bytes), text });
      count++;
      return text;
    }

    Decoder.prototype.decode = function (input, options) {
      if (options !== undefined) {
        if (options !== null && options.stream) streaming.add(this);
      } else if (
        input instanceof Uint8Array &&
        input.length <= kLongest &&
        !streaming.has(this) &&
        this.encoding === "utf-8"
      ) {
        const text = lookUp(input);
        if (text !== null) return text;
      }
      return nativeDecode.call(this, input, options);
    };
    return { stats };
  })();
})(qmPage);
