#pragma once

// SIGTERM, SIGINT and SIGHUP (what a log-out, a service manager or a terminal send) end the event
// loop, so that the program lets go of its hot keys and the desktop's bindings on the way out
// instead of dying with them held. Unlike "&Quit" nothing is asked: an edit not yet saved is kept
// aside on the way out (EditRecovery) and offered at the next start. Call once, with the
// application made.
namespace TerminationSignals {

void endEventLoopOnThem();

} // namespace TerminationSignals
