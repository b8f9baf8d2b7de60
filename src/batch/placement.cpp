#include "batch/placement.h"

#include <algorithm>
#include <thread>

namespace velmora::batch {

using platform::DirectoryEntry;
using platform::Error;
using platform::FileSystem;
using platform::Status;
using Clock = std::chrono::steady_clock;

namespace {

Placement placed() {
    return {true, {}};
}

Placement notPlaced(Error reason) {
    return {false, std::move(reason)};
}

bool isFile(const platform::Result<DirectoryEntry>& entry) {
    return entry && !(entry.value().attributes & platform::AttrDirectory);
}

// The pause before a further try to reach a server that went away: short at
// first (a server that restarts is back within a second or two), then longer.
std::chrono::milliseconds pauseBefore(int attempt) {
    return std::chrono::milliseconds(std::min(250 << std::min(attempt, 4), 3000));
}

class Placer {
public:
    Placer(FileSystem& fileSystem, const PlacementNames& names,
           std::optional<platform::DosTime> heldTime)
        : fs_(fileSystem), names_(names), heldTime_(heldTime) {}

    Placement run(std::uint64_t size) {
        const auto current = fs_.findEntry(names_.dest);
        if (!current && platform::isConnectionFailure(current.error()))
            return notPlaced(current.error()); // nothing has changed yet
        const bool present = isFile(current);
        const bool identical = present && current.value().size == size && heldTime_ &&
                               current.value().time == *heldTime_;
        if (fs_.replacesInOneStep(names_.dest)) {
            Placement inOneStep = replaceInOneStep(present, identical);
            // A refused replacement may still be done with two renames: Windows
            // lets a running program be renamed, not replaced. An identical D
            // is left alone rather than cost the backup.
            if (inOneStep.placed || !present || identical)
                return inOneStep;
        }
        return renameTwice(present, identical);
    }

private:
    Placement replaceInOneStep(bool present, bool identical) {
        bool linked = false;
        if (present && !identical) {
            // A backup that is not there is no failure; one that cannot go
            // makes the second name fail.
            (void)fs_.deleteFile(names_.backup);
            if (Status kept = fs_.linkOrCopy(names_.dest, names_.backup); !kept)
                return notPlaced(kept.error());
            linked = true;
        }
        Status replaced = fs_.renameReplacing(names_.temp, names_.dest);
        if (replaced)
            return stamped();
        // The second name goes again, so that the two renames can move D there.
        if (linked)
            (void)fs_.deleteFile(names_.backup);
        return notPlaced(replaced.error());
    }

    Placement renameTwice(bool present, bool identical) {
        if (identical) {
            // D already holds this version; moving it aside would cost the
            // backup of the version before it. The new copy is not needed.
            if (Status dropped = fs_.deleteFile(names_.temp); !dropped)
                return notPlaced(dropped.error());
            return placed();
        }
        if (present) {
            (void)fs_.deleteFile(names_.backup);
            // Fails when D cannot be moved (held open on the server): then the
            // new copy cannot take its name either, and D stays as it is.
            if (Status moved = fs_.renameNoReplace(names_.dest, names_.backup); !moved) {
                if (platform::isConnectionFailure(moved.error()))
                    return settle(moved.error());
                return notPlaced(moved.error());
            }
        }
        Status renamed = fs_.renameNoReplace(names_.temp, names_.dest);
        if (renamed)
            return stamped();
        if (platform::isConnectionFailure(renamed.error()))
            return settle(renamed.error());
        // The server must not be left without its program: the previous copy
        // goes back to its name when the new one could not take it.
        if (present) {
            if (Status back = fs_.renameNoReplace(names_.backup, names_.dest);
                !back && platform::isConnectionFailure(back.error()))
                return settle(renamed.error());
        }
        return notPlaced(renamed.error());
    }

    // The connection broke while D was moved aside or T renamed, so whether
    // the request was carried out is unknown. Looks at what the server holds
    // once it can be reached again, and finishes from there: T takes D's name,
    // or, where it cannot, B goes back.
    Placement settle(Error why) {
        const Clock::time_point deadline = Clock::now() + kPlacementSettleTime;
        for (int attempt = 0; Clock::now() < deadline; ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(pauseBefore(attempt - 1));
            const auto dest = fs_.findEntry(names_.dest);
            if (!dest && platform::isConnectionFailure(dest.error()))
                continue;
            const auto temp = fs_.findEntry(names_.temp);
            if (!temp && platform::isConnectionFailure(temp.error()))
                continue;
            if (isFile(dest))
                return isFile(temp) ? notPlaced(why) : stamped(deadline);
            Status step = isFile(temp) ? fs_.renameNoReplace(names_.temp, names_.dest)
                                       : fs_.renameNoReplace(names_.backup, names_.dest);
            if (step && isFile(temp))
                return stamped(deadline);
            if (step)
                return notPlaced(why); // the previous copy is back
            if (platform::isConnectionFailure(step.error()))
                continue;
            if (isFile(temp)) {
                // T cannot take the name: B goes back on the next pass.
                why = step.error();
                Status back = fs_.renameNoReplace(names_.backup, names_.dest);
                if (back || !platform::isConnectionFailure(back.error()))
                    return notPlaced(why);
                continue;
            }
            return notPlaced(step.error());
        }
        return notPlaced(Error{why.code, "The server could not be reached again to finish "
                                         "putting the copy in place: " +
                                             why.message});
    }

    // The held time stamp on D; its result is not a condition of the copy, but
    // a connection that broke just then is tried again.
    Placement stamped(Clock::time_point deadline = Clock::now() + kPlacementSettleTime) {
        if (!heldTime_)
            return placed();
        for (int attempt = 0; Clock::now() < deadline; ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(pauseBefore(attempt - 1));
            Status set = fs_.setLastWriteTime(names_.dest, *heldTime_);
            if (set || !platform::isConnectionFailure(set.error()))
                break;
        }
        return placed();
    }

    FileSystem& fs_;
    const PlacementNames& names_;
    std::optional<platform::DosTime> heldTime_;
};

} // namespace

Placement placeCopy(FileSystem& fileSystem, const PlacementNames& names, std::uint64_t size,
                    std::optional<platform::DosTime> heldTime) {
    return Placer(fileSystem, names, heldTime).run(size);
}

} // namespace velmora::batch
