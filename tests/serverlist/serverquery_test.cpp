#include "serverlist/databasesource.h"

#include "serverlist/filesource.h"
#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"
#include "serverlist/serverquery.h"
#include "support/tempfolder.h"
#include "support/unitdatabase.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include <optional>

using namespace velmora::serverlist;
using velmora::testsupport::TempFolder;

namespace {

using velmora::testsupport::Unit;

QString writeDatabase(const TempFolder& dir, const std::vector<Unit>& units) {
    return velmora::testsupport::writeUnitDatabase(dir.file("servers.sqlite"), units);
}

QueryConnection sqlite(const QString& file) {
    return QueryConnection{QStringLiteral("QSQLITE"), file};
}

// Rows as a file load leaves them, then worked on.
void fillWorkedRows(ServerListModel& model) {
    model.removeAll();
    model.addRow("\\\\old1\\app", {"?", "?"});
    model.addRow("\\\\old2\\app", {"?", "?"});
    model.setMark(0, MarkCopied);
    model.setChecked(1, false);
    model.setSubItem(0, 1, "OK");
}

void expectWorkedRowsUntouched(const ServerListModel& model) {
    ASSERT_EQ(model.count(), 2);
    EXPECT_EQ(model.caption(0), "\\\\old1\\app");
    EXPECT_EQ(model.mark(0), MarkCopied);
    EXPECT_EQ(model.subItem(0, 1), "OK");
    EXPECT_TRUE(model.checked(0));
    EXPECT_FALSE(model.checked(1));
}

} // namespace

TEST(DatabaseLoad, RecordsBecomeCheckedUnknownRowsInResultOrder) {
    TempFolder dir;
    const QString cacak = QString::fromUtf8("\\\\srv1\\Čačak");
    ServerQuery query;
    query.setConnection(sqlite(writeDatabase(dir, {{"\\\\srv9\\app", 2, "Novi Sad"},
                                                   {cacak, 1, QString::fromUtf8("Čačak")},
                                                   {"\\\\srv5\\app", 7, std::nullopt}})));
    ServerListModel model;
    fillWorkedRows(model);

    const DatabaseLoad loaded = loadServerDatabase(model, query);
    ASSERT_TRUE(loaded.ok()) << loaded.error.message;
    ASSERT_EQ(model.count(), 3);
    EXPECT_EQ(model.caption(0), "\\\\srv9\\app");
    EXPECT_EQ(model.caption(2), "\\\\srv5\\app");
    // Captions are bytes in the system's character set, shown as the database holds them.
    EXPECT_EQ(ServerListModel::displayText(model.caption(1)), cacak);
    const QString shortNames[] = {"Novi Sad", QString::fromUtf8("Čačak"), ""};
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(model.checked(i));
        EXPECT_EQ(model.mark(i), MarkUnknown);
        EXPECT_EQ(model.row(i).subItems, (QStringList{"?", "?", shortNames[i]})) << i;
    }
    EXPECT_TRUE(query.isOpen());
    EXPECT_EQ(query.recordCount(), 3);

    // The double-click's lookup: the first record whose path begins with the caption.
    EXPECT_EQ(locateShortName(query, model.caption(1)), QString::fromUtf8("Čačak"));
    EXPECT_EQ(locateShortName(query, "\\\\srv5"), QString());
    EXPECT_EQ(query.currentRecord(), 2);
    EXPECT_EQ(locateShortName(query, "\\\\srv0"), std::nullopt);
    EXPECT_EQ(query.currentRecord(), 2);
}

TEST(DatabaseLoad, ZeroRecordsGiveAnEmptyList) {
    TempFolder dir;
    ServerQuery query;
    query.setConnection(sqlite(writeDatabase(dir, {})));
    ServerListModel model;
    fillWorkedRows(model);
    ASSERT_TRUE(loadServerDatabase(model, query).ok());
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(serverCountText(model.count()), "Br.servera:0");
    EXPECT_TRUE(query.isOpen());
}

TEST(DatabaseLoad, AFailedOpenChangesNothingAndLeavesTheQueryClosed) {
    TempFolder dir;
    const QString good = writeDatabase(dir, {{"\\\\srv\\app", 1, "Subotica"}});
    const QueryConnection failing[] = {
        sqlite(QFile::decodeName(dir.file("missing/servers.sqlite").c_str())),
        sqlite(QFile::decodeName(dir.file("empty.sqlite").c_str())), // no tables
        {QStringLiteral("QNOSUCHDRIVER"), good},
    };
    for (const QueryConnection& connection : failing) {
        ServerQuery query;
        query.setConnection(sqlite(good));
        ServerListModel model;
        ASSERT_TRUE(loadServerDatabase(model, query).ok());
        fillWorkedRows(model);
        const auto generation = model.generation();

        query.setConnection(connection);
        const DatabaseLoad loaded = loadServerDatabase(model, query);
        EXPECT_EQ(loaded.outcome, DatabaseLoad::NotConnected)
            << connection.databaseName.toStdString();
        EXPECT_FALSE(loaded.error.message.empty());
        EXPECT_FALSE(query.isOpen());
        expectWorkedRowsUntouched(model);
        EXPECT_EQ(model.generation(), generation);
    }
}

TEST(DatabaseLoad, AMissingFieldEmptiesTheListAndClosesTheQuery) {
    TempFolder dir;
    const QString file = writeDatabase(dir, {{"\\\\srv\\app", 1, "Subotica"}});
    const struct {
        const char* statement;
        const char* error;
    } cases[] = {
        {"select VerzijePath from VerAdmin", "Kveri: Field 'kratkoime' not found"},
        {"select KratkoIme from PJ", "Kveri: Field 'VerzijePath' not found"},
    };
    for (const auto& c : cases) {
        ServerQuery query;
        query.setConnection({QStringLiteral("QSQLITE"), file, c.statement});
        ServerListModel model;
        fillWorkedRows(model);
        const DatabaseLoad loaded = loadServerDatabase(model, query);
        EXPECT_EQ(loaded.outcome, DatabaseLoad::FieldMissing) << c.statement;
        EXPECT_EQ(loaded.error.message, c.error);
        EXPECT_EQ(model.count(), 0);
        EXPECT_FALSE(query.isOpen());
    }
}

TEST(DatabaseLoad, FieldsAreFoundByNameWithoutRegardToCase) {
    TempFolder dir;
    ServerQuery query;
    query.setConnection({QStringLiteral("QSQLITE"),
                         writeDatabase(dir, {{"\\\\a\\x", 1, "Kikinda"}, {"\\\\b\\y", 2, "Pirot"}}),
                         "select v.VerzijePath as VERZIJEPATH, p.KratkoIme as KRATKOIME "
                         "from VerAdmin v left join PJ p on p.PJ = v.PJ"});
    ServerListModel model;
    ASSERT_TRUE(loadServerDatabase(model, query).ok());
    ASSERT_EQ(model.count(), 2);
    EXPECT_EQ(model.caption(1), "\\\\b\\y");
    EXPECT_EQ(model.subItem(1, 2), "Pirot");
}

// Clears the deployment values for a test and puts back what was set before.
class DeploymentEnvironment {
public:
    DeploymentEnvironment() {
        for (const char* name : kNames) {
            saved_.push_back(qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name))
                                                             : std::nullopt);
            qunsetenv(name);
        }
    }
    ~DeploymentEnvironment() {
        for (std::size_t i = 0; i < std::size(kNames); ++i) {
            if (saved_[i])
                qputenv(kNames[i], *saved_[i]);
            else
                qunsetenv(kNames[i]);
        }
    }

private:
    static constexpr const char* kNames[] = {"VELMORA_DB_HOST", "VELMORA_DB_CATALOG",
                                             "VELMORA_DB_ODBC_DRIVER"};
    std::vector<std::optional<QByteArray>> saved_;
};

TEST(ProductionConnection, OdbcWithIntegratedSecurityFromTheEnvironment) {
    DeploymentEnvironment environment;

    // Without the deployment values Kveri does not open.
    qputenv("VELMORA_DB_HOST", "db01");
    EXPECT_FALSE(productionConnection().ok());
    ServerQuery query;
    EXPECT_FALSE(query.open().ok());
    EXPECT_FALSE(query.isOpen());

    qputenv("VELMORA_DB_CATALOG", "Verzije");
    auto connection = productionConnection();
    ASSERT_TRUE(connection.ok());
    EXPECT_EQ(connection.value().driver, "QODBC");
    EXPECT_EQ(connection.value().databaseName,
              "DRIVER={ODBC Driver 18 for SQL Server};SERVER=db01;DATABASE=Verzije;"
              "Trusted_Connection=yes");
    EXPECT_EQ(connection.value().statement, "select \r\np.KratkoIme,\r\nv.VerzijePath\r\n"
                                            "from VerAdmin v\r\nleft join PJ p on p.PJ = v.PJ");

    // A driver that is not installed fails the open, as an unreachable server does.
    qputenv("VELMORA_DB_ODBC_DRIVER", "Velmora No Such Driver");
    EXPECT_TRUE(
        productionConnection().value().databaseName.startsWith("DRIVER={Velmora No Such Driver};"));
    EXPECT_FALSE(query.open().ok());
    EXPECT_FALSE(query.isOpen());
}
