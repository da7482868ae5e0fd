#include "heaprelease.h"

#include <malloc.h>

void HeapRelease::release()
{
    malloc_trim(0);
}
