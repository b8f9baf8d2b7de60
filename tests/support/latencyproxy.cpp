#include "latencyproxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <deque>
#include <vector>

namespace velmora::testsupport {

namespace {

using Clock = std::chrono::steady_clock;

// The most one read takes in; what arrived in one read is one chunk.
constexpr std::size_t kReadSize = 256 * 1024;
// The most one direction of a connection holds before it stops reading.
constexpr std::size_t kHeldLimit = 64 * 1024 * 1024;
// Enough for every worker of a large batch connecting at the same moment.
constexpr int kBacklog = 1024;

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

void noDelay(int fd) {
    // Each chunk goes out as it is released: Nagle's wait for more would add
    // its own delay on top of ours to every small request.
    const int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

int connectToLoopback(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    while (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINTR) {
            close(fd);
            return -1;
        }
    }
    noDelay(fd);
    return fd;
}

// The time from now until the instant, for ppoll, rounded up so that a wake-up
// never comes before the chunk is due.
timespec until(Clock::time_point due, Clock::time_point now) {
    const auto left = std::chrono::ceil<std::chrono::nanoseconds>(due - now).count();
    const long long ns = left > 0 ? left : 0;
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

struct Chunk {
    Clock::time_point due;
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
    std::size_t sent = 0;
};

// Carries one direction of a connection: reads what arrives from `from`, holds
// each chunk until its arrival time plus the delay, then writes it to `to`.
// When `from` ends and all is delivered, `to` is shut for writing, so that the
// receiver sees the end as well. A failed write, or the proxy's stop, cuts the
// whole connection: both sockets are shut, which ends the other direction too.
void pump(int from, int to, std::chrono::microseconds delay, int stopFd) {
    std::deque<Chunk> held;
    std::size_t heldBytes = 0;
    bool open = true;
    std::unique_ptr<char[]> buffer;
    const auto cut = [&] {
        shutdown(from, SHUT_RDWR);
        shutdown(to, SHUT_RDWR);
    };
    for (;;) {
        Clock::time_point now = Clock::now();
        bool blocked = false;
        while (!held.empty() && held.front().due <= now) {
            Chunk& chunk = held.front();
            const ssize_t n = send(to, chunk.bytes.get() + chunk.sent, chunk.size - chunk.sent,
                                   MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                blocked = true;
                break;
            }
            if (n <= 0)
                return cut();
            chunk.sent += static_cast<std::size_t>(n);
            if (chunk.sent == chunk.size) {
                heldBytes -= chunk.size;
                held.pop_front();
            }
        }
        if (!open && held.empty()) {
            shutdown(to, SHUT_WR);
            return;
        }

        pollfd watched[3] = {{stopFd, POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
        if (open && heldBytes < kHeldLimit)
            watched[1] = {from, POLLIN, 0};
        if (blocked)
            watched[2] = {to, POLLOUT, 0};
        timespec wait{};
        const timespec* timeout = nullptr;
        if (!held.empty() && !blocked) {
            wait = until(held.front().due, now);
            timeout = &wait;
        }
        if (ppoll(watched, 3, timeout, nullptr) < 0 && errno != EINTR)
            return cut();
        if (watched[0].revents != 0)
            return cut();
        if (watched[1].revents != 0) {
            // A large read becomes the chunk as it is; a small one is copied out
            // at its size, so that small requests do not each hold a large buffer.
            if (!buffer)
                buffer.reset(new char[kReadSize]);
            const ssize_t n = recv(from, buffer.get(), kReadSize, MSG_DONTWAIT);
            now = Clock::now(); // the chunk's arrival
            if (n > 0) {
                const auto size = static_cast<std::size_t>(n);
                if (size > kReadSize / 2) {
                    held.push_back({now + delay, std::move(buffer), size});
                } else {
                    std::unique_ptr<char[]> bytes(new char[size]);
                    std::memcpy(bytes.get(), buffer.get(), size);
                    held.push_back({now + delay, std::move(bytes), size});
                }
                heldBytes += size;
            } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
                // An end or a reset of the sender: what came before it still
                // goes through, then the end.
                open = false;
            }
        }
    }
}

} // namespace

struct LatencyProxy::Connection {
    int client = -1;
    int server = -1;
    std::atomic<int> running{2};
    std::thread up;   // client to server
    std::thread down; // server to client
};

std::unique_ptr<LatencyProxy> LatencyProxy::start(int targetPort, std::chrono::microseconds oneWay,
                                                  std::string* whyNot) {
    const auto refuse = [&](const std::string& why, int fd) {
        if (whyNot)
            *whyNot = errnoText(why);
        if (fd >= 0)
            close(fd);
        return std::unique_ptr<LatencyProxy>();
    };
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return refuse("socket", -1);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return refuse("bind to 127.0.0.1", fd);
    if (listen(fd, kBacklog) != 0)
        return refuse("listen", fd);
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return refuse("getsockname", fd);
    std::unique_ptr<LatencyProxy> proxy(
        new LatencyProxy(fd, ntohs(address.sin_port), targetPort, oneWay));
    if (pipe2(proxy->stopPipe_, O_CLOEXEC) != 0)
        return refuse("pipe", -1); // the destructor closes the listener
    proxy->acceptor_ = std::thread([p = proxy.get()] { p->acceptLoop(); });
    return proxy;
}

LatencyProxy::LatencyProxy(int listener, int port, int targetPort, std::chrono::microseconds oneWay)
    : listener_(listener), port_(port), targetPort_(targetPort), oneWay_(oneWay) {}

LatencyProxy::~LatencyProxy() {
    if (stopPipe_[1] >= 0) {
        // Never read: the pipe stays readable, so every thread sees the stop.
        const char stop = 's';
        while (write(stopPipe_[1], &stop, 1) < 0 && errno == EINTR) {
        }
    }
    if (acceptor_.joinable())
        acceptor_.join();
    for (auto& connection : connections_) {
        connection->up.join();
        connection->down.join();
        close(connection->client);
        close(connection->server);
    }
    close(listener_);
    for (int fd : stopPipe_)
        if (fd >= 0)
            close(fd);
}

void LatencyProxy::acceptLoop() {
    for (;;) {
        pollfd watched[2] = {{stopPipe_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0 && errno != EINTR)
            return;
        if (watched[0].revents != 0)
            return;
        if (watched[1].revents == 0)
            continue;
        const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue; // a connection given up before it was taken, or out of descriptors
        reapEnded();
        serve(client);
    }
}

void LatencyProxy::serve(int client) {
    noDelay(client);
    const int server = connectToLoopback(targetPort_);
    if (server < 0) {
        close(client); // the client sees the refusal as an end at once
        return;
    }
    ++accepted_;
    auto connection = std::make_unique<Connection>();
    Connection* c = connection.get();
    c->client = client;
    c->server = server;
    const int stop = stopPipe_[0];
    const auto delay = oneWay_;
    c->up = std::thread([c, stop, delay] {
        pump(c->client, c->server, delay, stop);
        --c->running;
    });
    c->down = std::thread([c, stop, delay] {
        pump(c->server, c->client, delay, stop);
        --c->running;
    });
    std::lock_guard lock(mutex_);
    connections_.push_back(std::move(connection));
}

void LatencyProxy::reapEnded() {
    std::lock_guard lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
        Connection& c = **it;
        if (c.running.load() != 0) {
            ++it;
            continue;
        }
        c.up.join();
        c.down.join();
        close(c.client);
        close(c.server);
        it = connections_.erase(it);
    }
}

} // namespace velmora::testsupport
