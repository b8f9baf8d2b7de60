#include "benchserver.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace velmora::bench {

std::unique_ptr<BenchServer> startBenchServer(const std::string& part, const std::string& root) {
    std::string whyNot;
    auto server = testsupport::SambaServer::start(&whyNot);
    if (!server) {
        std::printf("%s SKIPPED: the private Samba server did not start:\n", part.c_str());
        std::string line;
        for (std::istringstream lines(whyNot); std::getline(lines, line);)
            std::printf("   %s\n", line.c_str());
        return nullptr;
    }
    std::vector<std::string> shares;
    for (int i = 1; i <= 8; ++i)
        shares.push_back(server->shareFolder("b" + std::to_string(i)));
    auto bench = std::make_unique<BenchServer>();
    bench->scratch = std::make_unique<ServerScratch>(ServerFolders{
        server->root(), shares, server->hasFullShare() ? server->shareFolder("full") : ""});
    bench->server = std::move(server);
    ::setenv("VELMORA_SMB_CREDENTIALS", (root + "/no-smb-credentials").c_str(), 1);
    useSmbPort(bench->server->port());
    return bench;
}

void useSmbPort(int port) {
    ::setenv("VELMORA_SMB_PORT", std::to_string(port).c_str(), 1);
}

} // namespace velmora::bench
