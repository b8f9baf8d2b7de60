#pragma once

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace velmora::testsupport {

// One record of the server statement's tables: a VerAdmin row and, where the
// unit has a short name, its PJ row.
struct Unit {
    QString path;
    int pj;
    std::optional<QString> shortName; // none: the unit has no PJ row
};

// Writes an SQLite database file with the two tables VerAdmin and PJ holding
// the units, and returns its name for a QSQLITE connection.
inline QString writeUnitDatabase(const std::string& path, const std::vector<Unit>& units) {
    const QString file = QFile::decodeName(path.c_str());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "writer");
        db.setDatabaseName(file);
        EXPECT_TRUE(db.open());
        QSqlQuery q(db);
        EXPECT_TRUE(q.exec("create table VerAdmin (VerzijePath text, PJ integer)"));
        EXPECT_TRUE(q.exec("create table PJ (PJ integer, KratkoIme text)"));
        for (const Unit& u : units) {
            q.prepare("insert into VerAdmin values (?, ?)");
            q.addBindValue(u.path);
            q.addBindValue(u.pj);
            EXPECT_TRUE(q.exec());
            if (u.shortName) {
                q.prepare("insert into PJ values (?, ?)");
                q.addBindValue(u.pj);
                q.addBindValue(*u.shortName);
                EXPECT_TRUE(q.exec());
            }
        }
    }
    QSqlDatabase::removeDatabase("writer");
    return file;
}

} // namespace velmora::testsupport
