#pragma once

#include <atomic>

namespace plugshift {

// While radio work runs, Ctrl-C, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break and the console's closing
// on Windows) raise `stop` instead of ending the process, and SIGPIPE is ignored (a reader of the
// output that went away costs only the output), so the work stops at the end of the
// request on the line and says how to go on. Every request writes `notice` (a literal that
// outlives the catch) to the standard error at once. Only one flag is caught at a time.
void catchStopRequests(std::atomic<bool>& stop, const char* notice);
// The system's own handling again.
void releaseStopRequests();

}  // namespace plugshift
