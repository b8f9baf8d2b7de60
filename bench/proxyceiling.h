#pragma once

#include <chrono>
#include <cstdint>

namespace velmora::bench {

// The proxy's own ceiling: MB/s (10^6 bytes) of raw TCP streams through the
// delaying proxy into a sink of this process that only reads, from the first
// connect until every stream's end has come back through the proxy. Streams
// run at once, each of bytesPerStream.
double proxyCeiling(std::chrono::microseconds oneWay, int streams, std::uint64_t bytesPerStream);

} // namespace velmora::bench
