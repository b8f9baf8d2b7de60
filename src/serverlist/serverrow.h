#pragma once

#include <QString>
#include <QStringList>

#include <string>

namespace velmora::serverlist {

// One server: its folder path, check box, status mark and column texts.
struct ServerRow {
    // The folder path exactly as it was read, byte for byte, in the system's
    // character set; shown decoded, handed to the file system unchanged.
    std::string caption;
    bool checked = true;
    int mark = 0;
    // "%", "Informacije" and, for rows from the database, "Mesto".
    QStringList subItems;
};

} // namespace velmora::serverlist
