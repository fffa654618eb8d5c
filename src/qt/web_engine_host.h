// What a program that hosts Flash controls sets up before its application object: the
// web engine's process-wide settings and the player's scheme.
#pragma once

namespace qm::qt {

// Call once, before QApplication, with the program's arguments. Settings the
// environment already names are kept.
//  - As root the web engine runs without its sandbox (it refuses to start it then).
//  - The web engine's processes run Quillmere's own executable for them, when it is
//    installed with the data folder (see web_engine_process.h).
//  - The web engine's audio service runs in this process instead of one of its own,
//    and there is no zygote for unsandboxed processes (none are left to start).
//  - Where GL can only be drawn in software anyway, the web engine composites in
//    software, Qt Quick draws with its software back end and Qt loads no GL at all.
//  - The `qm` scheme is registered.
void PrepareWebEngineHost(int argc, char** argv);

// Call once the application object exists: takes back what only this process's start
// needed, so that programs it starts do not inherit it.
void WebEngineHostStarted();

// Call when a burst of work is over (a movie's first frame, a page let go): a while later
// the memory that work freed goes back to the system. Serving a page its player (12 MB
// of code, the 4.6 MB font, the movie) leaves tens of MB free in the allocator's heaps.
void ReturnFreedMemoryLater();

}  // namespace qm::qt
