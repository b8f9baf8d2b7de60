#pragma once

#include "platform/result.h"

#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace velmora::serverlist {

class ServerListModel;

// The path of the server list file: the program's folder followed by
// "serveri.txt".
std::string serverFilePath(const std::string& programFolder);

// Where the program looks for its server list, in order: beside the program
// (as it always has), then in the user's settings folder
// ($XDG_CONFIG_HOME/velmora/serveri.txt), for a program installed where no list
// can stand beside it.
std::vector<std::string> serverFileCandidates(const std::string& programFolder);
// The first of the candidates that exists; none when there is none.
std::optional<std::string> findServerFile(const std::string& programFolder);

// The file load: empties the list, reads the file whole and adds one row per
// line (caption the line, mark MarkUnknown, checked, sub-items "?" and "?").
// On a read error the list stays empty and the error is returned for the
// caller to show.
platform::Status loadServerFile(ServerListModel& model, const std::string& path);

// "Br.servera:" followed by the number of rows.
QString serverCountText(int count);

} // namespace velmora::serverlist
