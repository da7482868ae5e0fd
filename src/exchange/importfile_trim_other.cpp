// ImportFile where the C library offers no way to return freed memory: it stays for reuse.
#include "importfile.h"

void ImportFile::releaseFreedMemory() {}
