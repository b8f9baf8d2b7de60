#include "serverlist/filesource.h"

#include "platform/filesystem.h"
#include "serverlist/linesplitter.h"
#include "serverlist/serverlistmodel.h"

namespace velmora::serverlist {

std::string serverFilePath(const std::string& programFolder) {
    return programFolder + "serveri.txt";
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
