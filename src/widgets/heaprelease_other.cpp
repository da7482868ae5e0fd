#include "heaprelease.h"

// Other allocators give freed memory back by themselves.
void HeapRelease::release() {}
