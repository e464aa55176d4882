#pragma once
// Memory the program has freed goes back to the system. The C library keeps freed heap memory
// for later allocations, and of a heap that held many objects (a hundred sessions) it gives
// little back by itself: it only shrinks the heap from its top, and objects that live on (made
// while the sessions were open) sit above the freed space. Measured with a hundred sessions
// closed: about 3 MiB of a 39 MiB heap still in use, and without the release the process stays
// as large as it was at its largest (82 MiB against 51 MiB with it). Whoever frees a
// large part of the heap (a session that closes) calls releaseFreedMemorySoon(); a moment after
// the last such call, once the objects that go from the event loop are gone too, the free pages
// of the heap are returned.

namespace rt {

// Returns the heap's free pages to the system about releaseSettleMs after the last call (calls in
// between are gathered into one).
void releaseFreedMemorySoon();
inline constexpr int releaseSettleMs = 500;

} // namespace rt
