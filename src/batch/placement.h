#pragma once

#include "platform/dostime.h"
#include "platform/filesystem.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace velmora::batch {

// The three names of a copy on a server.
struct PlacementNames {
    std::string dest;   // D, the program's own name
    std::string temp;   // T, the finished new copy
    std::string backup; // B, where the previous copy is kept
};

struct Placement {
    bool placed = false;
    platform::Error reason; // why not, when not placed
};

// How long a placement goes on trying to reach a server whose connection
// broke in the middle, before it gives up.
inline constexpr std::chrono::seconds kPlacementSettleTime{30};

// Puts the finished copy T in place as D, keeps the previous D under B, and
// stamps D with the held time stamp. At every moment D holds the previous or
// the new whole file:
// - where the file system replaces in one step, B becomes a second name of
//   the previous D (a hard link, or a copy) and T is renamed onto D;
// - elsewhere (a network share reached through a client library that cannot
//   replace) D is renamed to B and T to D; should the connection break between
//   the two, the placement reconnects and finishes it (or puts B back) within
//   kPlacementSettleTime.
// A D that already holds this version (same size and held time stamp) is not
// moved aside, so B keeps the version before it. Runs to its end once begun:
// nothing here looks at an abort.
Placement placeCopy(platform::FileSystem& fileSystem, const PlacementNames& names,
                    std::uint64_t size, std::optional<platform::DosTime> heldTime);

} // namespace velmora::batch
