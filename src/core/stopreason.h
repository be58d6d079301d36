// Why the gateway stops: the reason code of "ESPA Server is stopping, reason N".
#pragma once

namespace tw {

enum StopReason : int {
    StopWindowClosed = 0,    // the window's close button, Alt+F4, SIGINT
    StopRequested = 1,       // File, Exit, or a service stop
    StopSystemShutdown = 2,  // the system shuts down (SIGHUP)
    StopTerminated = 3,      // terminated from outside (SIGTERM, not as a service)
};

}  // namespace tw
