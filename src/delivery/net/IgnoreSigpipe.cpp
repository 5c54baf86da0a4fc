#include "IgnoreSigpipe.h"

#include <csignal>

namespace App {

void ignoreSigpipe()
{
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGPIPE, &action, nullptr);
}

} // namespace App
