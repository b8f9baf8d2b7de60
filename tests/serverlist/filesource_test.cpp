#include "serverlist/filesource.h"

#include "serverlist/marks.h"
#include "serverlist/serverlistmodel.h"
#include "support/tempfolder.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace velmora::serverlist;
using velmora::testsupport::TempFolder;

TEST(ServerFileLoad, EveryLineBecomesACheckedUnknownRow) {
    TempFolder dir;
    const std::string path = dir.write("serveri.txt", "\\\\srv01\\app\r\n\\\\srv02\\app\r\n");
    ServerListModel model;
    ASSERT_TRUE(loadServerFile(model, path).ok());
    ASSERT_EQ(model.count(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_TRUE(model.checked(i));
        EXPECT_EQ(model.mark(i), MarkUnknown);
        EXPECT_EQ(model.row(i).subItems, (QStringList{"?", "?"}));
        EXPECT_EQ(model.subItem(i, 2), QString()); // no "Mesto" for file rows
    }
    EXPECT_EQ(model.caption(1), "\\\\srv02\\app");
    EXPECT_EQ(serverCountText(model.count()), QStringLiteral("Br.servera:2"));
}

TEST(ServerFileLoad, ReloadReplacesRowsMarksAndChecks) {
    TempFolder dir;
    const std::string path = dir.write("serveri.txt", "a\nb\nc\n");
    ServerListModel model;
    ASSERT_TRUE(loadServerFile(model, path).ok());
    model.setMark(1, MarkCopied);
    model.setChecked(2, false);
    model.setSubItem(0, 1, "OK");
    const auto before = model.generation();

    dir.write("serveri.txt", "x\ny\n");
    ASSERT_TRUE(loadServerFile(model, path).ok());
    ASSERT_EQ(model.count(), 2);
    EXPECT_EQ(model.caption(0), "x");
    EXPECT_EQ(model.mark(1), MarkUnknown);
    EXPECT_TRUE(model.checked(1));
    EXPECT_EQ(model.subItem(0, 1), "?");
    EXPECT_GT(model.generation(), before);
}

TEST(ServerFileLoad, EmptyFileGivesNoRows) {
    TempFolder dir;
    const std::string path = dir.write("serveri.txt", "");
    ServerListModel model;
    ASSERT_TRUE(loadServerFile(model, path).ok());
    EXPECT_EQ(model.count(), 0);
    EXPECT_EQ(serverCountText(0), QStringLiteral("Br.servera:0"));
}

TEST(ServerFileLoad, MissingFileEmptiesTheListAndReportsTheSystemText) {
    TempFolder dir;
    const std::string path = dir.write("serveri.txt", "a\nb\n");
    ServerListModel model;
    ASSERT_TRUE(loadServerFile(model, path).ok());
    ASSERT_EQ(model.count(), 2);

    ASSERT_TRUE(QFile::remove(QFile::decodeName(path.c_str())));
    const auto status = loadServerFile(model, path);
    ASSERT_FALSE(status.ok());
    EXPECT_FALSE(status.error().message.empty());
    EXPECT_EQ(model.count(), 0);
}

TEST(ServerFileLoad, CaptionsReachTheModelByteForByte) {
    TempFolder dir;
    const QByteArray bytes("\xEF\xBB\xBF/srv/\xe8"
                           "a\xe8"
                           "ak\r\n  /srv/b  \n");
    const std::string path = dir.write("serveri.txt", bytes);
    ServerListModel model;
    ASSERT_TRUE(loadServerFile(model, path).ok());
    ASSERT_EQ(model.count(), 2);
    EXPECT_EQ(model.caption(0), std::string("\xEF\xBB\xBF/srv/\xe8"
                                            "a\xe8"
                                            "ak"));
    EXPECT_EQ(model.caption(1), "  /srv/b  ");
}

TEST(ServerListModel, CheckBoxAndMarkAreIndependent) {
    ServerListModel model;
    model.addRow("a", {"?", "?"});
    model.setMark(0, MarkCopyFailed);
    EXPECT_TRUE(model.checked(0));
    model.setChecked(0, false);
    EXPECT_EQ(model.mark(0), MarkCopyFailed);

    // The user's click on the check box reaches the row; no other cell is editable.
    const QModelIndex caption = model.index(0, ServerListModel::CaptionColumn);
    EXPECT_TRUE(model.setData(caption, Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(model.checked(0));
    EXPECT_FALSE(model.flags(caption) & Qt::ItemIsEditable);
    EXPECT_FALSE(model.setData(model.index(0, ServerListModel::InfoColumn), "x", Qt::EditRole));
    EXPECT_EQ(model.subItem(0, 1), "?");
}

TEST(ServerListModel, ChangesAreAnnouncedToTheView) {
    ServerListModel model;
    model.addRow("a", {"?", "?"});
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    model.setSubItem(0, 0, "50%");
    model.setMark(0, MarkWorking);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(0).at(0).value<QModelIndex>().column(), ServerListModel::PercentColumn);
    EXPECT_EQ(model.data(model.index(0, 1), Qt::DisplayRole).toString(), "50%");
    EXPECT_EQ(model.data(model.index(0, 0), ServerListModel::MarkRole).toInt(), MarkWorking);
}

TEST(ServerFileLookup, BesideTheProgramFirstThenTheUsersSettingsFolder) {
    TempFolder program;
    TempFolder home;
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home.file("config")));
    const std::string settings = home.file("config/velmora/serveri.txt");
    ASSERT_TRUE(QDir().mkpath(QFile::decodeName(home.file("config/velmora").c_str())));

    EXPECT_EQ(findServerFile(program.path()), std::nullopt);
    home.write("config/velmora/serveri.txt", "\\\\srv01\\app\r\n");
    EXPECT_EQ(findServerFile(program.path()), settings);
    program.write("serveri.txt", "\\\\srv02\\app\r\n");
    EXPECT_EQ(findServerFile(program.path()), program.file("serveri.txt"));
    // Without the program's folder the current folder is never looked in.
    EXPECT_EQ(serverFileCandidates(""), std::vector<std::string>{settings});

    // A relative XDG_CONFIG_HOME counts as unset: ~/.config is used.
    qputenv("XDG_CONFIG_HOME", "config");
    qputenv("HOME", QByteArray::fromStdString(home.path()));
    EXPECT_EQ(serverFileCandidates(program.path()).back(),
              home.path() + ".config/velmora/serveri.txt");
    qputenv("XDG_CONFIG_HOME", savedConfig);
    qputenv("HOME", savedHome);
}
