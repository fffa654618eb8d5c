// What a program started from ours inherits: its standard input, output and error, and
// the default handling of every signal. The web engine's sockets, the X connection, open
// files and the like stay ours; a program that held the web engine's zygote socket kept
// its processes alive for as long as the program ran.
//
// These run in a child between fork and exec: async-signal-safe, nothing allocated.
#pragma once

namespace qm {

// The number below which the last fallback closes descriptors, for when neither
// close_range nor /proc is at hand. Read it before the fork.
int DescriptorLimit();

// Closes every descriptor from 3 up except `keep` (-1: none): with close_range where the
// kernel has it, else those that /proc/self/fd lists, else every one below `limit`.
void CloseInheritedDescriptors(int keep, int limit);

// The two fallbacks on their own. The first is false when /proc/self/fd cannot be read.
bool CloseListedDescriptors(int keep);
void CloseDescriptorsBelow(int keep, int limit);

// Every signal handled by default and none blocked: a signal this program ignores (the
// web engine ignores SIGPIPE) stays ignored across exec otherwise.
void ResetInheritedSignals();

}  // namespace qm
