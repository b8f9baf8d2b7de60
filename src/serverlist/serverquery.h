#pragma once

namespace velmora::serverlist {

// The database query (Kveri) that is the second source of the server list. It
// is open only after a successful database load and closed by a file reload.
class ServerQuery {
public:
    bool isOpen() const { return open_; }
    void close();

private:
    bool open_ = false;
};

} // namespace velmora::serverlist
