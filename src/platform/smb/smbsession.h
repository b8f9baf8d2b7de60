#pragma once

#include "platform/result.h"
#include "smbsettings.h"
#include "smbwire.h"

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::platform::smb {

// One thread's connection to its own helper process, which holds the SMB
// client library for that thread alone (the library cannot be shared between
// threads). The helper starts with the first request and ends with the thread.
// A request that the thread is asked to cancel, or that outlasts the time-out,
// kills the helper, so no thread stays stuck on a server that does not answer;
// the next request starts a new one.
// The error of a reply that does not hold what its request promises.
Error malformedReply();

class SmbSession {
public:
    static SmbSession& forThisThread();

    SmbSession() = default;
    ~SmbSession();
    SmbSession(const SmbSession&) = delete;
    SmbSession& operator=(const SmbSession&) = delete;

    // Sends one request and returns the reply's results (what follows the
    // error number), or the error the helper or the server reported. The tail
    // goes after the request's own bytes, from where it stands. A cancel grace
    // lets the request run on for that long after the thread was asked to stop,
    // for a request whose effect must not come after the caller has ended.
    Result<std::string> call(const WireWriter& request, std::string_view tail = {},
                             std::chrono::milliseconds cancelGrace = {});

    // The number of the session's current helper, unique in the process.
    // Handles that a helper gave out are valid only while its number is current.
    std::uint64_t incarnation() const { return incarnation_; }

private:
    using Deadline = std::chrono::steady_clock::time_point;

    Status startHelper(const SmbSettings& settings);
    // Closes the channel and reaps the helper; kills it first when asked to
    // or when it does not end by itself at once.
    void stopHelper(bool kill);
    // Sends the frame header and the parts as one frame.
    Status send(std::string_view head, std::string_view tail, Deadline deadline);
    Status receive(std::string& frame, Deadline deadline);
    // Waits until the channel is ready; fails on cancellation (after the
    // grace) or time-out.
    Status waitFor(short events, Deadline deadline);

    std::chrono::milliseconds cancelGrace_{};
    std::optional<std::chrono::steady_clock::time_point> cancelSeen_;

    pid_t pid_ = -1;
    int pidfd_ = -1; // a helper of the spawner: its end is watched through this
    int channel_ = -1;
    SmbSettings settings_;
    std::uint64_t incarnation_ = 0;
};

} // namespace velmora::platform::smb
