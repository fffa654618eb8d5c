// The hooks the control adds to ActionScript 1 and 2 movies (swf::AddHostHooks): the
// host reads the movie's variables and plays and stops its timeline through functions
// the movie registers as its first frame runs.
"use strict";

(function (page) {
  const { registered, callMovie, guarded } = page.player;
  const kGetVariable = "__qm_getvariable";
  const kPlay = "__qm_play";
  const kStop = "__qm_stop";

  Object.assign(window.qm, {
    getVariable(name) {
      return guarded(() => {
        if (!registered(kGetVariable)) {
          const player = page.player.current();
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
        } else {
          const player = page.player.current();
          if (player !== null && player.ruffle) {
            // Movies without the timeline hooks (ActionScript 3): the whole player.
            playing ? player.ruffle().resume() : player.ruffle().suspend();
          }
        }
        return true;
      });
    },
  });
})(qmPage);
