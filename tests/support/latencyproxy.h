#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace velmora::testsupport {

// A TCP proxy on 127.0.0.1 that stands in for a long link: every connection made to its port is
// forwarded to 127.0.0.1:<target port>, and every chunk of bytes, in either direction, is held
// for the one-way delay after it arrived before it is passed on. The chunks are queued with
// their arrival time and released when their time comes, so many are under way at once and the
// delay costs round trips, not bandwidth: a stream keeps its speed, a request waits twice the
// delay for its answer. Each direction holds at most 64 MiB; beyond that the proxy stops
// reading from the sender until the receiver has taken some.
//
// Plain POSIX: one thread accepts, two threads (one per direction) serve each connection.
class LatencyProxy {
public:
    // Listens on a free port of 127.0.0.1; nullptr, and why in *whyNot, when it cannot.
    static std::unique_ptr<LatencyProxy> start(int targetPort, std::chrono::microseconds oneWay,
                                               std::string* whyNot);

    // Stops accepting, cuts every connection and waits for all threads.
    ~LatencyProxy();
    LatencyProxy(const LatencyProxy&) = delete;
    LatencyProxy& operator=(const LatencyProxy&) = delete;

    int port() const { return port_; }
    std::chrono::microseconds oneWay() const { return oneWay_; }
    // Connections accepted so far.
    std::uint64_t connections() const { return accepted_.load(); }

private:
    struct Connection;

    LatencyProxy(int listener, int port, int targetPort, std::chrono::microseconds oneWay);
    void acceptLoop();
    void serve(int client);
    // Joins and drops the connections whose both directions have ended.
    void reapEnded();

    int listener_;
    int port_;
    int targetPort_;
    std::chrono::microseconds oneWay_;
    int stopPipe_[2] = {-1, -1}; // readable once the proxy stops; every thread watches it
    std::atomic<std::uint64_t> accepted_{0};
    std::mutex mutex_;
    std::list<std::unique_ptr<Connection>> connections_;
    std::thread acceptor_;
};

} // namespace velmora::testsupport
