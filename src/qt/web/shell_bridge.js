// The bridge to the shell: the movie's ExternalInterface calls and its fscommands go
// to the host as window.prompt questions, which the host answers synchronously.
"use strict";

(function (page) {
  const { trace } = page;
  const { invokeXml, fromReply } = page.externalInterfaceXml;
  const kCall = "\u0001qm-call";
  const kCommand = "\u0001qm-fscommand";

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

  // --- The movie's fscommands ----------------------------------------------------------

  page.shellBridge = {
    // The player's onFSCommand: the host hears every command, with its argument.
    fsCommand(command, arg) {
      window.prompt(kCommand, JSON.stringify([String(command), String(arg)]));
      return true;
    },
  };
})(qmPage);
