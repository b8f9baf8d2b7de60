#include "serverlist/filesource.h"

#include "platform/filesystem.h"
#include "platform/programpaths.h"
#include "serverlist/linesplitter.h"
#include "serverlist/serverlistmodel.h"

namespace velmora::serverlist {

std::string serverFilePath(const std::string& programFolder) {
    return programFolder + "serveri.txt";
}

std::vector<std::string> serverFileCandidates(const std::string& programFolder) {
    std::vector<std::string> places;
    // Without the program's folder the bare name would be looked up in the
    // current folder, which never counts.
    if (!programFolder.empty())
        places.push_back(serverFilePath(programFolder));
    if (const std::string config = platform::userConfigFolder(); !config.empty())
        places.push_back(config + "/velmora/serveri.txt");
    return places;
}

std::optional<std::string> findServerFile(const std::string& programFolder) {
    for (const std::string& place : serverFileCandidates(programFolder))
        if (platform::nativeFileSystem().fileExists(place))
            return place;
    return std::nullopt;
}

platform::Status loadServerFile(ServerListModel& model, const std::string& path) {
    model.removeAll();
    // The program's own folder, as the system gave it.
    auto content = platform::nativeFileSystem().readWholeFile(path);
    if (!content)
        return content.error();
    const std::vector<char>& bytes = content.value();
    for (std::string& line : splitServerLines(std::string_view(bytes.data(), bytes.size())))
        model.addRow(std::move(line), {QStringLiteral("?"), QStringLiteral("?")});
    return {};
}

QString serverCountText(int count) {
    return QStringLiteral("Br.servera:%1").arg(count);
}

} // namespace velmora::serverlist
