#pragma once

#include "platform/result.h"

#include <QString>

#include <optional>
#include <string>

namespace velmora::serverlist {

class ServerListModel;
class ServerQuery;

// The outcome of a database load, for the caller to look at.
struct [[nodiscard]] DatabaseLoad {
    enum Outcome {
        Loaded,
        NotConnected, // the query could not be opened: nothing was changed
        FieldMissing, // the result lacks a field: the list has been emptied
    };
    Outcome outcome = Loaded;
    platform::Error error; // the data layer's error, unless Loaded

    bool ok() const { return outcome == Loaded; }
};

// The database load: closes and opens the query; when it opens, empties the
// list and adds one row per record in record order (caption the record's
// VerzijePath, mark MarkUnknown, checked, sub-items "?", "?" and its
// kratkoime). A failed open leaves the list as it was and the query closed.
// When the result lacks either field, the list stays empty and the query is
// closed too, so that an open query always holds exactly the list's rows.
DatabaseLoad loadServerDatabase(ServerListModel& model, ServerQuery& query);

// For an open query: moves its current record to the first record, in query
// order, whose VerzijePath as caption bytes begins with the caption, and
// returns that record's kratkoime. Nothing, and the current record kept, when
// no record matches.
std::optional<QString> locateShortName(ServerQuery& query, const std::string& caption);

} // namespace velmora::serverlist
