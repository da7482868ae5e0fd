#pragma once

// Gives the memory the heap holds free back to the system, where the allocator keeps it (glibc
// keeps what a large window or report freed, however long the program then idles in the tray).
// Called once something large has gone: a print preview, the "Pick a note" popup.
namespace HeapRelease {

void release();

} // namespace HeapRelease
