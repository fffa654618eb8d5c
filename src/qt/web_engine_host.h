// What a program that hosts Flash controls sets up before its application object: the
// web engine's process-wide settings and the player's scheme.
#pragma once

namespace qm::qt {

// Call once, before QApplication. Settings the environment already names are kept.
//  - As root the web engine runs without its sandbox (it refuses to start it then).
//  - The web engine's audio service runs in this process instead of one of its own.
//  - The `qm` scheme is registered.
void PrepareWebEngineHost();

}  // namespace qm::qt
