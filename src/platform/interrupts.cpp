#include "interrupts.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <pthread.h>
#include <thread>
#endif

namespace velmora::platform {

namespace {

std::atomic<int> received{0};

#ifdef _WIN32
BOOL WINAPI countRequest(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        received.fetch_add(1);
        return TRUE;
    default:
        return FALSE;
    }
}
#endif

} // namespace

bool watchInterrupts() {
#ifdef _WIN32
    return SetConsoleCtrlHandler(countRequest, TRUE) != 0;
#else
    sigset_t requests;
    sigemptyset(&requests);
    sigaddset(&requests, SIGINT);
    sigaddset(&requests, SIGTERM);
    sigaddset(&requests, SIGHUP);
    if (pthread_sigmask(SIG_BLOCK, &requests, nullptr) != 0)
        return false;
    std::signal(SIGPIPE, SIG_IGN);
    // Blocked in every thread, the requests stay pending for the process until
    // this thread takes them.
    std::thread([requests] {
        for (;;) {
            int request = 0;
            if (sigwait(&requests, &request) == 0)
                received.fetch_add(1);
        }
    }).detach();
    return true;
#endif
}

int interruptsReceived() {
    return received.load();
}

} // namespace velmora::platform
