// Pacing the player at the movie's frame rate.
//
// Ruffle asks for an animation frame on every display refresh and runs a movie frame
// when its time has come. While the page is shown, its animation frames come from a
// timer at the movie's own frame rate instead (at most the display's 60 Hz): the
// same movie frames, without waking the page and its compositor 60 times a second
// for nothing. A hidden page keeps the browser's own (paused) animation frames.
"use strict";

(function (page) {
  page.pacer = (function () {
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
})(qmPage);
