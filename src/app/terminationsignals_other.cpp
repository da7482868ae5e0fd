// Where there are no such signals the system ends the program its own way (a session end comes
// to Qt's session management).
#include "terminationsignals.h"

namespace TerminationSignals {

void endEventLoopOnThem() {}

} // namespace TerminationSignals
