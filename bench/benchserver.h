#pragma once

#include "benchsupport.h"
#include "support/sambaserver.h"

#include <memory>
#include <string>
#include <vector>

namespace velmora::bench {

// The private Samba server of a part (shares b1..b8 on 127.0.0.1), with its
// folders registered for removal should the run fail, and the program's SMB
// helpers told to log on as guest (the user's own credentials file must not
// decide how the guest shares are reached).
struct BenchServer {
    std::unique_ptr<testsupport::SambaServer> server;
    std::unique_ptr<ServerScratch> scratch;
};

// nullptr, with "<part> SKIPPED ..." and the reason printed, when the server
// cannot start (not root, Samba missing).
std::unique_ptr<BenchServer> startBenchServer(const std::string& part, const std::string& root);

// Points the program's SMB helpers at the port (the server's, or a proxy's in
// front of it); the helpers read it at every request.
void useSmbPort(int port);

} // namespace velmora::bench
