#pragma once

namespace App {

// Sets SIGPIPE to be ignored in the whole process, so that a write to a
// socket or pipe whose reader has gone fails with EPIPE instead of ending
// the application. Every socket write of this framework already avoids the
// signal; this covers code that does not (libraries, child pipes).
void ignoreSigpipe();

} // namespace App
