#pragma once

// A server row's status mark: the index of its picture in the shared image list.
namespace velmora::serverlist {

constexpr int MarkUnknown = 0;          // nothing known yet
constexpr int MarkCopied = 1;           // the copy succeeded
constexpr int MarkCopyFailed = 2;       // the copy failed or was aborted
constexpr int MarkReachable = 3;        // the folder was reachable
constexpr int MarkUnreachable = 4;      // the folder was not reachable
constexpr int MarkRobocopy = 18;        // the file was handed to robocopy
constexpr int MarkWorking = 23;         // a worker has been started for the row
constexpr int MarkBadVersion = 28;      // the server's file is missing or differs
constexpr int MarkGoodVersion = 29;     // the server's file is identical
constexpr int MarkHandUnreachable = 34; // marked unreachable by hand

} // namespace velmora::serverlist
