#pragma once

namespace tolka {

// Makes SIGTERM, SIGINT and SIGHUP (a logout, Ctrl-C, a closed terminal)
// quit the application's event loop, so that the program stops as when it
// is quit: its children stopped, its files written. Call once, with the
// application object made. Nothing to do on Windows, where a session ends
// through window messages that Qt handles.
void quitOnTerminationSignals();

} // namespace tolka
