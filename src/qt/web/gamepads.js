// Gamepads.
//
// Ruffle asks for the gamepads on every tick, and the first question starts the web
// engine's gamepad polling in the shell's process. Flash movies have no gamepads.
"use strict";

(function (page) {
  if (navigator.getGamepads) navigator.getGamepads = () => [];
})(qmPage);
