#pragma once
// Memory the program has freed goes back to the system. The C library keeps freed heap memory
// for later allocations, and of a heap that held many objects (a hundred sessions) it gives
// little back by itself: the process stays as large as it was at its largest. Whoever frees a
// large part of the heap (a session that closes) calls releaseFreedMemorySoon(); a moment after
// the last such call, once the objects that go from the event loop are gone too, the free pages
// of the heap are returned.

namespace rt {

// Returns the heap's free pages to the system about releaseSettleMs after the last call (calls in
// between are gathered into one).
void releaseFreedMemorySoon();
inline constexpr int releaseSettleMs = 500;

} // namespace rt
