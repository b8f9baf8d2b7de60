#include "proxyceiling.h"

#include "benchsupport.h"
#include "proxyprocess.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora::bench {

namespace {

constexpr std::size_t kBlock = 1024 * 1024;

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

// Reads until the end; the bytes read, or -1 on an error.
long long drain(int fd) {
    std::vector<char> buffer(kBlock);
    long long total = 0;
    for (;;) {
        const ssize_t n = recv(fd, buffer.data(), buffer.size(), 0);
        if (n == 0)
            return total;
        if (n > 0)
            total += n;
        else if (errno != EINTR)
            return -1;
    }
}

bool sendAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

double proxyCeiling(std::chrono::microseconds oneWay, int streams, std::uint64_t bytesPerStream) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listener < 0 ||
        bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, streams) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        fail(std::string("proxy ceiling: cannot listen on 127.0.0.1: ") + std::strerror(errno));
    const auto proxy = ProxyProcess::start(ntohs(address.sin_port), oneWay);

    // The sink: one reader per stream, each closing its end once it has read all.
    std::vector<std::thread> readers;
    std::thread sink([&] {
        for (int i = 0; i < streams; ++i) {
            const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                fail(std::string("proxy ceiling: accept: ") + std::strerror(errno));
            readers.emplace_back([fd, bytesPerStream] {
                if (drain(fd) != static_cast<long long>(bytesPerStream))
                    fail("proxy ceiling: a stream did not arrive whole");
                close(fd);
            });
        }
    });

    const std::vector<char> block(kBlock, 'x');
    const Clock::time_point start = Clock::now();
    std::vector<std::thread> senders;
    for (int i = 0; i < streams; ++i) {
        senders.emplace_back([&] {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const sockaddr_in to = loopback(proxy->port());
            if (fd < 0 || connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0)
                fail(std::string("proxy ceiling: cannot connect: ") + std::strerror(errno));
            for (std::uint64_t left = bytesPerStream; left > 0;) {
                const std::size_t now =
                    static_cast<std::size_t>(std::min<std::uint64_t>(left, kBlock));
                if (!sendAll(fd, block.data(), now))
                    fail("proxy ceiling: a stream was cut");
                left -= now;
            }
            // The sink's close comes back through the proxy once all is read.
            shutdown(fd, SHUT_WR);
            if (drain(fd) != 0)
                fail("proxy ceiling: a stream's end did not come back");
            close(fd);
        });
    }
    for (std::thread& sender : senders)
        sender.join();
    const double seconds = secondsSince(start);
    sink.join();
    for (std::thread& reader : readers)
        reader.join();
    close(listener);
    return megabytesPerSecond(bytesPerStream * static_cast<std::uint64_t>(streams), seconds);
}

} // namespace velmora::bench
