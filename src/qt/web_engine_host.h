// What a program that hosts Flash controls sets up before its application object: the
// web engine's process-wide settings and the player's scheme.
#pragma once

namespace qm::qt {

// Call once, before QApplication. Settings the environment already names are kept.
//  - As root the web engine runs without its sandbox (it refuses to start it then).
//  - Freed memory goes back to the system once 128 KiB are free at the top of the heap
//    (glibc keeps up to 128 MiB by default after a burst like Ruffle's start-up), in this
//    process and, through GLIBC_TUNABLES, in the web engine's processes.
//  - The web engine's audio service runs in this process instead of one of its own.
//  - The `qm` scheme is registered.
void PrepareWebEngineHost();

}  // namespace qm::qt
