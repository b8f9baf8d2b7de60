#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>

namespace velmora::bench {

// The delaying proxy (velmora_latencyproxy of this build) as a child process:
// forwards 127.0.0.1:port() to 127.0.0.1:targetPort with the one-way delay in
// each direction. It ends when this object goes, and by itself when the
// benchmark dies (its standard input, a pipe from here, ends).
class ProxyProcess {
public:
    // Fails the run when the proxy does not start and say its port.
    static std::unique_ptr<ProxyProcess> start(int targetPort, std::chrono::microseconds oneWay);
    ~ProxyProcess();
    ProxyProcess(const ProxyProcess&) = delete;
    ProxyProcess& operator=(const ProxyProcess&) = delete;

    int port() const { return port_; }

private:
    ProxyProcess() = default;

    pid_t pid_ = -1;
    int input_ = -1; // the write end of the proxy's standard input
    int port_ = 0;
};

} // namespace velmora::bench
