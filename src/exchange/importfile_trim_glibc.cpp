// ImportFile with the GNU C library, whose malloc_trim(3) returns the free pages of every heap.
#include "importfile.h"

#include <malloc.h>

void ImportFile::releaseFreedMemory()
{
    malloc_trim(0);
}
