#include "serverlist/serverquery.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <cerrno>

namespace velmora::serverlist {
namespace {

platform::Error databaseError(const QString& text) {
    return platform::Error{EIO, text.toLocal8Bit().toStdString()};
}

// A value of an ODBC connection string, in braces when it holds a character
// that would end or open one.
QString odbcValue(const QString& value) {
    if (!value.contains(QLatin1Char(';')) && !value.contains(QLatin1Char('{')) &&
        !value.contains(QLatin1Char('}')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1String("}"), QLatin1String("}}"));
    return QLatin1Char('{') + quoted + QLatin1Char('}');
}

// Connects under the connection name, runs the statement and reads the
// result's fields and every record. The connection is closed again, but its
// name stays registered for the caller to remove.
platform::Status readRecords(const QueryConnection& settings, const QString& name,
                             QSqlRecord& fields, std::vector<QStringList>& records) {
    QSqlDatabase db = QSqlDatabase::addDatabase(settings.driver, name);
    if (!db.isValid())
        return databaseError(
            QStringLiteral("Kveri: the database driver %1 is not available").arg(settings.driver));
    db.setDatabaseName(settings.databaseName);
    // The window waits for the answer: a server that does not answer must not
    // hold it for the driver's own (possibly endless) time.
    if (settings.driver == QLatin1String("QODBC"))
        db.setConnectOptions(
            QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=15;SQL_ATTR_CONNECTION_TIMEOUT=60"));
    if (!db.open())
        return databaseError(db.lastError().text());

    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(settings.statement))
        return databaseError(query.lastError().text());
    fields = query.record();
    while (query.next()) {
        QStringList values;
        for (int i = 0; i < fields.count(); ++i) {
            const QVariant value = query.value(i);
            values.append(value.isNull() ? QString() : value.toString());
        }
        records.push_back(std::move(values));
    }
    // A fetch that breaks off ends the loop as the last record does.
    if (query.lastError().isValid())
        return databaseError(query.lastError().text());
    return {};
}

} // namespace

QString serverQueryStatement() {
    return QStringLiteral("select \r\n"
                          "p.KratkoIme,\r\n"
                          "v.VerzijePath\r\n"
                          "from VerAdmin v\r\n"
                          "left join PJ p on p.PJ = v.PJ");
}

platform::Result<QueryConnection> productionConnection() {
    const QString host = qEnvironmentVariable("VELMORA_DB_HOST");
    const QString catalog = qEnvironmentVariable("VELMORA_DB_CATALOG");
    if (host.isEmpty() || catalog.isEmpty())
        return databaseError(
            QStringLiteral("VELMORA_DB_HOST and VELMORA_DB_CATALOG must name the database"));
#ifdef Q_OS_WIN
    const QString defaultDriver = QStringLiteral("SQL Server");
#else
    const QString defaultDriver = QStringLiteral("ODBC Driver 18 for SQL Server");
#endif
    QString driver = qEnvironmentVariable("VELMORA_DB_ODBC_DRIVER");
    if (driver.isEmpty())
        driver = defaultDriver;
    driver.replace(QLatin1String("}"), QLatin1String("}}"));
    return QueryConnection{
        QStringLiteral("QODBC"),
        QStringLiteral("DRIVER={%1};SERVER=%2;DATABASE=%3;Trusted_Connection=yes")
            .arg(driver, odbcValue(host), odbcValue(catalog)),
    };
}

void ServerQuery::setConnection(QueryConnection connection) {
    connection_ = std::move(connection);
}

platform::Status ServerQuery::open() {
    close();
    auto connection =
        connection_ ? platform::Result<QueryConnection>(*connection_) : productionConnection();
    if (!connection)
        return connection.error();

    // Each open has a connection of its own, removed again once the records
    // are read; the records stay.
    static int opens = 0;
    const QString name = QStringLiteral("velmora-kveri-%1").arg(++opens);
    QSqlRecord fields;
    std::vector<QStringList> records;
    const platform::Status read = readRecords(connection.value(), name, fields, records);
    QSqlDatabase::removeDatabase(name);
    if (!read)
        return read;

    fields_ = std::move(fields);
    records_ = std::move(records);
    current_ = 0;
    open_ = true;
    return {};
}

void ServerQuery::close() {
    open_ = false;
    fields_.clear();
    records_.clear();
    current_ = 0;
}

platform::Result<int> ServerQuery::fieldIndex(const QString& name) const {
    // QSqlRecord::indexOf compares names without regard to case.
    const int index = fields_.indexOf(name);
    if (index < 0)
        return platform::Error{
            EINVAL,
            QStringLiteral("Kveri: Field '%1' not found").arg(name).toLocal8Bit().toStdString()};
    return index;
}

const QString& ServerQuery::text(int record, int field) const {
    return records_.at(static_cast<std::size_t>(record)).at(field);
}

} // namespace velmora::serverlist
