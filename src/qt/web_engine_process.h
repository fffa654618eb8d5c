// The web engine's own processes (its zygote and the renderers forked from it) run
// Quillmere's executable for them, lib/quillmere/QuillmereWebEngineProcess, which gives
// the memory they free back to the system while they run, and lets their threads share
// two heaps. An executable that links
// web_engine_process.cpp gets the same for its own threads' waits.
#pragma once

namespace qm::qt {

// A process gives back at its first wait, then at waits at least these many seconds
// apart, twice as many each time up to the longest: a start-up's leftovers go soon, and a
// process that keeps working pays a few ms a minute.
inline constexpr long kFirstReturnIntervalS = 5;
inline constexpr long kLongestReturnIntervalS = 60;

// Called before one of the process's threads waits for up to `timeout_ms` (negative: no
// limit): when a return is due, the heaps' free pages go back to the system, on this
// thread. True when they did.
bool ReturnFreedMemoryBeforeWaiting(int timeout_ms);

}  // namespace qm::qt
