// Child process for start-up tests that must end a process:
//   startup_probe module <Module> <Type>   full start-up with another root
//   startup_probe worker-exit              leaves the worker thread running
#include "startup.h"
#include "workerthread.h"

#include <QThread>

#include <cstring>

int main(int argc, char *argv[])
{
    if (argc >= 4 && std::strcmp(argv[1], "module") == 0) {
        tolka::MainComponent component{QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3])};
        return tolka::run(1, argv, component);
    }
    if (argc >= 2 && std::strcmp(argv[1], "worker-exit") == 0) {
        // No application object, so nothing asks the thread to quit: process
        // exit alone must stop it cleanly.
        return workerThread()->isRunning() ? 0 : 3;
    }
    return 2;
}
