#pragma once

#include "platform/result.h"

#include <QSqlRecord>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace velmora::serverlist {

// The statement of the server list: every unit's folder path with the short
// name of its place, in the order the database returns them.
QString serverQueryStatement();

// Where Kveri reads its records from and what it runs there.
struct QueryConnection {
    QString driver;       // the Qt SQL driver: "QODBC" in production, "QSQLITE" in tests
    QString databaseName; // an ODBC connection string, or an SQLite database file
    QString statement = serverQueryStatement();
};

// The production connection: ODBC to SQL Server with Windows integrated
// security, so no user name or password is kept anywhere. Deployment values
// come from the environment:
//   VELMORA_DB_HOST         the SQL Server (host or host\instance), required
//   VELMORA_DB_CATALOG      the database, required
//   VELMORA_DB_ODBC_DRIVER  the ODBC driver's name; "SQL Server" on Windows,
//                           "ODBC Driver 18 for SQL Server" elsewhere
// Fails when the host or the catalog is unset.
platform::Result<QueryConnection> productionConnection();

// The database query (Kveri) that is the second source of the server list. It
// is open only after a successful database load and closed by a file reload.
// Open, it holds every record of the result in memory in result order; the
// database connection itself is not kept. Main thread only.
class ServerQuery {
public:
    // Points the query at another database (tests); without it every open
    // uses productionConnection().
    void setConnection(QueryConnection connection);

    // Closes the query, connects, runs the statement and reads every record.
    // On any failure the query stays closed and the data layer's error is
    // returned.
    platform::Status open();
    bool isOpen() const { return open_; }
    void close();

    // While open: the records, and the field values by position.
    int recordCount() const { return static_cast<int>(records_.size()); }
    // The position of a field of the result, by name without regard to case;
    // the error "Kveri: Field '<name>' not found" when the result has none.
    platform::Result<int> fieldIndex(const QString& name) const;
    // A field's value as text; a null reads as the empty text.
    const QString& text(int record, int field) const;

    // The current record: the first after an open.
    int currentRecord() const { return current_; }
    void setCurrentRecord(int record) { current_ = record; }

private:
    std::optional<QueryConnection> connection_;
    bool open_ = false;
    QSqlRecord fields_;
    std::vector<QStringList> records_;
    int current_ = 0;
};

} // namespace velmora::serverlist
