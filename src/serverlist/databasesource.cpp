#include "serverlist/databasesource.h"

#include "serverlist/serverlistmodel.h"
#include "serverlist/serverquery.h"
#include "serverlist/systemtext.h"

namespace velmora::serverlist {
namespace {

const QString kPathField = QStringLiteral("VerzijePath");
const QString kShortNameField = QStringLiteral("kratkoime");

} // namespace

DatabaseLoad loadServerDatabase(ServerListModel& model, ServerQuery& query) {
    query.close();
    const platform::Status opened = query.open();
    if (!opened)
        return {DatabaseLoad::NotConnected, opened.error()};

    model.removeAll();
    const auto path = query.fieldIndex(kPathField);
    const auto shortName = query.fieldIndex(kShortNameField);
    if (!path || !shortName) {
        query.close();
        return {DatabaseLoad::FieldMissing, !path ? path.error() : shortName.error()};
    }
    for (int record = 0; record < query.recordCount(); ++record)
        model.addRow(
            encodeListText(query.text(record, path.value())),
            {QStringLiteral("?"), QStringLiteral("?"), query.text(record, shortName.value())});
    return {};
}

std::optional<QString> locateShortName(ServerQuery& query, const std::string& caption) {
    const auto path = query.fieldIndex(kPathField);
    const auto shortName = query.fieldIndex(kShortNameField);
    if (!query.isOpen() || !path || !shortName)
        return std::nullopt;
    for (int record = 0; record < query.recordCount(); ++record) {
        if (encodeListText(query.text(record, path.value())).starts_with(caption)) {
            query.setCurrentRecord(record);
            return query.text(record, shortName.value());
        }
    }
    return std::nullopt;
}

} // namespace velmora::serverlist
