// The page side of the Flash control: loads Ruffle from the shell's scheme, carries the
// movie's ExternalInterface calls and fscommands to the host, and offers the host the
// operations of the control (window.qm). The host answers window.prompt synchronously;
// that is the channel through which the movie waits for the shell.
//
// The page's scripts run in the order player.html names them, each a part of the page
// of its own, all before Ruffle's: this one first, with what the others share. They
// hand one another what they offer as fields of qmPage.
"use strict";

const qmPage = (function () {
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

  return { trace, xhr };
})();
