#include "app/mainwindow.h"

#include "app/dialogs.h"
#include "app/limitspinbox.h"
#include "serverlist/marks.h"
#include "support/fifounblocker.h"
#include "support/tempfolder.h"
#include "support/unitdatabase.h"

#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>
#include <optional>

using namespace velmora;
using namespace velmora::serverlist;
using app::TForm1;
using testsupport::TempFolder;

namespace {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override {
        app::dialogs::setAnswerAutomatically(true);
        app::dialogs::takeShownMessages();
        dir.write("serveri.txt", "\\\\srv01\\app\r\n\\\\srv02\\app\r\n/srv/local\r\n");
    }
    void TearDown() override { app::dialogs::takeShownMessages(); }

    TForm1& shownForm() {
        form = std::make_unique<TForm1>(app::ProgramPaths{dir.path()});
        form->show();
        return *form;
    }
    template <typename T> T* control(const char* name) {
        return form->findChild<T*>(QLatin1String(name));
    }
    QString text(const char* label) { return control<QLabel>(label)->text(); }
    QStringList messages() { return app::dialogs::takeShownMessages(); }
    void trigger(const char* item) { form->menuItem(QLatin1String(item))->trigger(); }

    // An SQLite database of the statement's two tables, one PJ per unit;
    // points the window's query at it.
    void useDatabase(const char* name,
                     const std::vector<std::pair<QString, std::optional<QString>>>& units,
                     const QString& statement = serverQueryStatement()) {
        std::vector<testsupport::Unit> records;
        for (int pj = 0; pj < static_cast<int>(units.size()); ++pj)
            records.push_back({units[pj].first, pj, units[pj].second});
        const QString file = testsupport::writeUnitDatabase(dir.file(name), records);
        form->kveri().setConnection({QStringLiteral("QSQLITE"), file, statement});
    }
    QStringList doubleClick(int row) {
        form->selectRow(row);
        form->ListaDblClick();
        return messages();
    }

    TempFolder dir;
    std::unique_ptr<TForm1> form;
};

} // namespace

TEST_F(MainWindow, IsAFixedWhiteWindowWithItsCaption) {
    TForm1& f = shownForm();
    EXPECT_EQ(f.windowTitle(), "Velmora  v2.0 ");
    EXPECT_EQ(f.size(), QSize(1029, 651));
    EXPECT_EQ(f.minimumSize(), f.maximumSize());
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(f.palette().color(QPalette::Window), QColor(Qt::white));
}

TEST_F(MainWindow, ControlsStandWhereTheLayoutPutsThem) {
    shownForm();
    const struct {
        const char* name;
        QRect geometry;
    } placed[] = {
        {"Fajlovi", {0, 0, 321, 81}},         {"Ssss", {26, 123, 41, 22}},
        {"Image2", {72, 115, 33, 33}},        {"GroupBox1", {1, 151, 408, 479}},
        {"SpeedButton1", {374, 6, 30, 22}},   {"Memo1", {8, 29, 393, 292}},
        {"SpeedButton2", {370, 321, 30, 22}}, {"Memo2", {8, 344, 393, 129}},
        {"Lista", {408, 0, 621, 632}},
    };
    for (const auto& p : placed) {
        QWidget* w = control<QWidget>(p.name);
        ASSERT_TRUE(w) << p.name;
        EXPECT_EQ(w->geometry(), p.geometry) << p.name;
    }
    const struct {
        const char* name;
        QPoint at;
        const char* text;
    } labels[] = {
        {"Label7", {328, 103}, "status:"},
        {"Label6", {328, 117}, "SLOBODNO"},
        {"Label8", {13, 126}, "K:"},
        {"Label9", {112, 131}, "WinXp sp2 može max 10 konekcija!"},
        {"Label4", {10, 16}, "informacije o radu"},
        {"Label2", {10, 330}, "lista greškaka"},
        {"Label1", {328, 75}, nullptr},
        {"Label3", {328, 89}, nullptr},
        {"Label5", {4, 80}, nullptr},
    };
    for (const auto& l : labels) {
        QLabel* label = control<QLabel>(l.name);
        ASSERT_TRUE(label) << l.name;
        EXPECT_EQ(label->pos(), l.at) << l.name;
        if (l.text) {
            EXPECT_EQ(label->text(), QString::fromUtf8(l.text)) << l.name;
        }
    }
    EXPECT_EQ(control<QGroupBox>("GroupBox1")->title(), "Status");
    EXPECT_EQ(control<QLabel>("Label6")->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_EQ(control<QLabel>("Label2")->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(control<QLabel>("Label3")->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    for (const char* bold : {"Label6", "Label5", "Label4", "Label2", "Label3"})
        EXPECT_TRUE(control<QLabel>(bold)->font().bold()) << bold;
    EXPECT_FALSE(control<QLabel>("Label1")->font().bold());
    EXPECT_EQ(control<QLabel>("Label1")->palette().color(QPalette::WindowText), QColor(Qt::black));
    EXPECT_EQ(control<QLabel>("Label6")->font().family(), "Verdana");
    EXPECT_EQ(control<QLabel>("Label4")->font().family(), "Tahoma");
    EXPECT_EQ(control<QPlainTextEdit>("Memo1")->font().pointSize(), 7);
    EXPECT_EQ(control<QPlainTextEdit>("Memo2")->font().pointSize(), 7);
    EXPECT_EQ(form->font().pointSize(), 8);
    auto* memo1 = control<QPlainTextEdit>("Memo1");
    EXPECT_TRUE(memo1->isReadOnly());
    EXPECT_EQ(memo1->palette().color(QPalette::Base), QColor(Qt::black));
    EXPECT_EQ(memo1->palette().color(QPalette::Text), QColor(255, 255, 0));
    EXPECT_EQ(control<QPlainTextEdit>("Memo2")->palette().color(QPalette::Text), QColor(255, 0, 0));
    EXPECT_EQ(control<QTreeWidget>("Fajlovi")->palette().color(QPalette::Base),
              QColor(166, 202, 240));
}

TEST_F(MainWindow, ServerListViewColumnsAndSelection) {
    shownForm();
    auto* lista = control<QTableView>("Lista");
    const int widths[] = {260, 42, 150, 300};
    const char* headers[] = {"Lista servera", "%", "Informacije", "Mesto"};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(lista->columnWidth(c), widths[c]);
        EXPECT_EQ(lista->model()->headerData(c, Qt::Horizontal).toString(), headers[c]);
    }
    EXPECT_EQ(lista->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(lista->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(lista->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(lista->showGrid());
    // Each row shows its mark's picture and its check box.
    const QModelIndex first = lista->model()->index(0, 0);
    EXPECT_FALSE(first.data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(first.data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(lista->model()->index(0, 1).data().toString(), "?");
}

TEST_F(MainWindow, FirstShowingLoadsTheListAndTheTimerCountsWorkers) {
    TForm1& f = shownForm();
    EXPECT_EQ(f.lista().count(), 3);
    EXPECT_EQ(text("Label1"), "Br.servera:3");
    EXPECT_EQ(text("Label5"), "");
    EXPECT_EQ(text("Label3"), "Inicijalizacija");
    EXPECT_TRUE(QTest::qWaitFor([&] { return text("Label3") == "Konekcije: 0"; }, 2000));
    f.operationState().workerStarted();
    f.operationState().workerStarted();
    EXPECT_TRUE(QTest::qWaitFor([&] { return text("Label3") == "Konekcije: 2"; }, 2000));
    EXPECT_EQ(f.lista().caption(2), "/srv/local");
}

TEST_F(MainWindow, ContextMenusHoldEveryItemInOrder) {
    TForm1& f = shownForm();
    struct Item {
        const char* name;
        const char* caption;
        bool enabled;
        bool visible;
        int picture;
    };
    const Item menu1[] = {
        {"Kopiraj1", "Kopiraj fajlove!", false, true, 23},
        {"Kopirajsarobocopy1", "Kopiraj sa robocopy (100% sigurno)", false, true, 18},
        {"Kopirajsaexternimrobocopy1", "Robocopy (može više kopiranja odjednom)", false, false, 18},
        {"N7", "-", true, true, -1},
        {"Prekinioperacuju1", "Prekini operacuju!", true, true, 11},
        {"N8", "-", true, true, -1},
        {"Proveriverzije1", "Proveri verzije", false, true, 26},
        {"N5", "-", true, true, -1},
        {"Proveridalipostojiracunar1", "Proveri da li je veza u redu", true, true, 21},
        {"Ping1", "Ping ", true, true, 13},
        {"Pingt1", "Ping -t", true, true, 13},
        {"N6", "-", true, true, -1},
        {"Otvorifolder1", "Otvori folder", true, true, 5},
        {"N3", "-", true, true, -1},
        {"Oznacisve1", "Označi sve", true, true, 15},
        {"Obrisisve1", "Obriši sve", true, true, 14},
        {"Oznacidostupne1", "Označi dostupne", true, true, 3},
        {"Oznacinedostupne1", "Označi nedostupne", true, true, 4},
        {"Oznaikaouspenokopirane1", "Označi uspešno kopirane", true, true, 1},
        {"Oznacisamoneuspesne1", "Označi neuspešno kopirane", true, true, 2},
        {"Oznaisvenepoznate1", "Označi nepoznate", true, true, 0},
        {"Oznailoeverzije1", "Označi loše verzije", true, true, 28},
        {"Oznaidobreverzije1", "Označi dobre verzije", true, true, 29},
        {"N2", "-", true, true, -1},
        {"Oznaikaodostupan1", "Čekirane oboj kao uspešno kopirane", true, true, 1},
        {"Oznaiizabranikaoneuraen1", "Čekirane oboj kao neuspešno kopirane", true, true, 2},
        {"Oznaiizabranikaodajedobraverzija1", "Čekirane oboj kao da su dobre verzije", true, true,
         29},
        {"Oznaiizabranikaodajeloaverzija1", "Čekirane oboj kao da su loše verzije", true, true, 28},
        {"Oznaiizabranikaodajenepoznat1", "Čekirane oboj kao da su nepoznati", true, true, 0},
        {"ekiraniobojkaonedostupan1", "Čekirane oboj kao nedostupane", true, true, 34},
        {"ekiranimobriiinformacije1", "Čekiranim obriši informacije", true, true, -1},
        {"N1", "-", true, true, -1},
        {"Loadfromdatabase1", "Load from database", false, false, 25},
        {"Loadfromserveriinifile1", "Load from serveri.txt file", true, true, 25},
        {"N9", "-", true, true, -1},
        {"Info1", "Info", true, true, 12},
        {"Krajprograma1", "Kraj programa", true, true, 32},
    };
    const Item menu2[] = {
        {"Dodajfajl1", "Dodaj fajl", true, true, 5},
        {"Obrisilistu1", "Obriši listu", false, true, 6},
        {"N4", "-", true, true, -1},
        {"Otvorifolder2", "Otvori folder", false, true, 5},
        {"Pokrenifajl1", "Pokreni fajl", false, true, 33},
    };
    auto check = [](QMenu* menu, const auto& expected) {
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
        for (qsizetype i = 0; i < actions.size(); ++i) {
            const Item& e = expected[i];
            QAction* a = actions[i];
            EXPECT_EQ(a->objectName(), e.name);
            EXPECT_EQ(a->isVisible(), e.visible) << e.name;
            EXPECT_TRUE(a->shortcut().isEmpty()) << e.name;
            if (qstrcmp(e.caption, "-") == 0) {
                EXPECT_TRUE(a->isSeparator()) << e.name;
                continue;
            }
            EXPECT_EQ(a->text(), QString::fromUtf8(e.caption)) << e.name;
            EXPECT_EQ(app::isMenuItemEnabled(a), e.enabled) << e.name;
            if (e.visible) {
                EXPECT_EQ(a->isEnabled(), e.enabled) << e.name;
            }
            EXPECT_EQ(a->property("imageIndex").toInt(), e.picture) << e.name;
            EXPECT_EQ(a->icon().isNull(), e.picture < 0) << e.name;
        }
    };
    check(f.popupMenu1(), menu1);
    check(f.popupMenu2(), menu2);
}

TEST_F(MainWindow, SelectAndPaintCommandsThroughTheMenu) {
    TForm1& f = shownForm();
    ServerListModel& rows = f.lista();
    // Row 0 failed, row 1 copied, row 2 unknown.
    rows.setMark(0, MarkCopyFailed);
    rows.setMark(1, MarkCopied);

    const struct {
        const char* item;
        bool checked[3];
    } selects[] = {
        {"Obrisisve1", {false, false, false}},
        {"Oznacisve1", {true, true, true}},
        {"Oznacisamoneuspesne1", {true, false, false}},
        {"Oznaikaouspenokopirane1", {false, true, false}},
        {"Oznaisvenepoznate1", {false, false, true}},
        {"Oznacidostupne1", {false, false, false}},
        {"Oznacinedostupne1", {false, false, false}},
        {"Oznailoeverzije1", {false, false, false}},
        {"Oznaidobreverzije1", {false, false, false}},
    };
    for (const auto& s : selects) {
        trigger(s.item);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(rows.checked(i), s.checked[i]) << s.item << " row " << i;
    }

    const struct {
        const char* item;
        int mark;
        const char* percent;
        const char* info;
        const char* selectedBy;
    } paints[] = {
        {"Oznaikaodostupan1", MarkCopied, "100%", "OK", "Oznaikaouspenokopirane1"},
        {"Oznaiizabranikaoneuraen1", MarkCopyFailed, "NO", "neuspešno kopiran?",
         "Oznacisamoneuspesne1"},
        {"Oznaiizabranikaodajedobraverzija1", MarkGoodVersion, "OK", "OK", "Oznaidobreverzije1"},
        {"Oznaiizabranikaodajeloaverzija1", MarkBadVersion, "NO", "loša verzija",
         "Oznailoeverzije1"},
        {"Oznaiizabranikaodajenepoznat1", MarkUnknown, "?", "?", "Oznaisvenepoznate1"},
        {"ekiraniobojkaonedostupan1", MarkHandUnreachable, "***", "nedostupan računar", nullptr},
    };
    for (const auto& p : paints) {
        // Paint row 1 only, then select by the painted mark.
        rows.setMark(0, MarkRobocopy);
        rows.setSubItem(0, 1, "untouched");
        trigger("Obrisisve1");
        rows.setChecked(1, true);
        trigger(p.item);
        EXPECT_EQ(rows.mark(1), p.mark) << p.item;
        EXPECT_EQ(rows.subItem(1, 0), QString::fromUtf8(p.percent)) << p.item;
        EXPECT_EQ(rows.subItem(1, 1), QString::fromUtf8(p.info)) << p.item;
        EXPECT_EQ(rows.mark(0), MarkRobocopy) << p.item;
        EXPECT_EQ(rows.subItem(0, 1), "untouched") << p.item;
        if (p.selectedBy) {
            trigger(p.selectedBy);
            EXPECT_TRUE(rows.checked(1)) << p.item;
            EXPECT_FALSE(rows.checked(0)) << p.item;
        }
    }
    // Clearing information keeps the mark.
    trigger("Obrisisve1");
    rows.setChecked(1, true);
    trigger("ekiranimobriiinformacije1");
    EXPECT_EQ(rows.mark(1), MarkHandUnreachable);
    EXPECT_EQ(rows.subItem(1, 0), "?");
    EXPECT_EQ(rows.subItem(1, 1), "");
    EXPECT_TRUE(messages().isEmpty());
}

TEST_F(MainWindow, ReloadFromFile) {
    TForm1& f = shownForm();
    f.lista().setMark(0, MarkCopied);
    dir.write("serveri.txt", "a\nb\nc\nd\n");
    trigger("Loadfromserveriinifile1");
    EXPECT_EQ(f.lista().count(), 4);
    EXPECT_EQ(f.lista().mark(0), MarkUnknown);
    EXPECT_EQ(text("Label1"), "Br.servera:4");

    // A file that has gone: the system's text in a box, an empty list and the
    // count label as it was.
    ASSERT_TRUE(QFile::remove(QFile::decodeName(dir.file("serveri.txt").c_str())));
    trigger("Loadfromserveriinifile1");
    const QStringList shown = messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("Cannot open file \"")) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains("No such file")) << shown[0].toStdString();
    EXPECT_EQ(f.lista().count(), 0);
    EXPECT_EQ(text("Label1"), "Br.servera:4");
}

TEST_F(MainWindow, UnreadableServerListAtFirstShowingKeepsTheWindowOpen) {
    ASSERT_TRUE(QFile::remove(QFile::decodeName(dir.file("serveri.txt").c_str())));
    TForm1& f = shownForm();
    EXPECT_EQ(messages().size(), 1);
    EXPECT_TRUE(f.isVisible());
    EXPECT_EQ(f.lista().count(), 0);
}

// A named pipe has no whole content to read, and opening one waits for a
// writer: the window refuses it at once, as the server list and as the file.
TEST_F(MainWindow, NamedPipesAreRefusedAtOnce) {
    ASSERT_TRUE(QFile::remove(QFile::decodeName(dir.file("serveri.txt").c_str())));
    testsupport::FifoUnblocker list(dir.file("serveri.txt"));
    ASSERT_TRUE(list.made());
    QElapsedTimer clock;
    clock.start();
    TForm1& f = shownForm();
    EXPECT_LT(clock.elapsed(), 2000);
    QStringList shown = messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("Cannot open file \"")) << shown[0].toStdString();
    EXPECT_EQ(f.lista().count(), 0);

    testsupport::FifoUnblocker pipe(dir.file("prog.exe"));
    ASSERT_TRUE(pipe.made());
    app::dialogs::setNextFileName(QFile::decodeName(dir.file("prog.exe").c_str()));
    clock.restart();
    trigger("Dodajfajl1");
    EXPECT_LT(clock.elapsed(), 2000);
    shown = messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].startsWith("Ne mogu da učitam fajl ")) << shown[0].toStdString();
    EXPECT_TRUE(shown[0].contains("Invalid argument")) << shown[0].toStdString();
    EXPECT_FALSE(f.fileSet().isHeld());
    EXPECT_EQ(control<QTreeWidget>("Fajlovi")->topLevelItemCount(), 0);
}

TEST_F(MainWindow, DoubleClickWithoutDatabase) {
    TForm1& f = shownForm();
    f.selectRow(-1);
    f.ListaDblClick();
    EXPECT_TRUE(messages().isEmpty());
    f.selectRow(1);
    EXPECT_EQ(f.selectedRow(), 1);
    f.ListaDblClick();
    EXPECT_EQ(messages(), QStringList{"Radite sa ini fajlom!"});

    // A real double-click on a row selects it and asks the same.
    auto* lista = control<QTableView>("Lista");
    f.selectRow(-1);
    const QRect second = lista->visualRect(lista->model()->index(2, 2));
    // A double-click is a click followed by the double-click event.
    QTest::mouseClick(lista->viewport(), Qt::LeftButton, {}, second.center());
    QTest::mouseDClick(lista->viewport(), Qt::LeftButton, {}, second.center());
    EXPECT_EQ(f.selectedRow(), 2);
    EXPECT_EQ(messages(), QStringList{"Radite sa ini fajlom!"});
}

TEST_F(MainWindow, DoubleClickAfterADatabaseLoadShowsTheRecordsShortName) {
    TForm1& f = shownForm();
    useDatabase("first.sqlite", {{"\\\\a\\b\\c", "Prvi"}, {"\\\\a\\b\\cd", "Drugi"}});
    // The menu item stays hidden and disabled; enabled, it runs the load.
    QAction* item = f.menuItem("Loadfromdatabase1");
    app::setMenuItemEnabled(item, true);
    item->trigger();
    ASSERT_EQ(f.lista().count(), 2);
    EXPECT_EQ(f.lista().caption(1), "\\\\a\\b\\cd");
    EXPECT_EQ(f.lista().subItem(1, 2), "Drugi");
    EXPECT_EQ(text("Label1"), "Br.servera:2");
    EXPECT_TRUE(messages().isEmpty());
    EXPECT_TRUE(doubleClick(-1).isEmpty());
    EXPECT_EQ(doubleClick(0), QStringList{"Prvi"});
    EXPECT_EQ(doubleClick(1), QStringList{"Drugi"});

    // The first record whose path begins with the caption wins; a unit
    // without a short name shows an empty box.
    useDatabase("second.sqlite",
                {{"\\\\a\\b\\cd", "Drugi"}, {"\\\\a\\b\\c", "Prvi"}, {"\\\\a\\e", std::nullopt}});
    f.Loadfromdatabase1Click();
    ASSERT_EQ(f.lista().count(), 3);
    EXPECT_EQ(doubleClick(1), QStringList{"Drugi"});
    EXPECT_EQ(f.kveri().currentRecord(), 0);
    EXPECT_EQ(doubleClick(2), QStringList{""});
    EXPECT_EQ(f.kveri().currentRecord(), 2);

    trigger("Loadfromserveriinifile1");
    EXPECT_EQ(f.lista().count(), 3);
    EXPECT_EQ(doubleClick(1), QStringList{"Radite sa ini fajlom!"});
}

TEST_F(MainWindow, FailedDatabaseLoads) {
    TForm1& f = shownForm();
    f.lista().setMark(0, MarkCopied);
    f.lista().setChecked(1, false);
    f.kveri().setConnection(
        {QStringLiteral("QSQLITE"), QFile::decodeName(dir.file("missing/db.sqlite").c_str())});
    f.Loadfromdatabase1Click();
    EXPECT_EQ(messages(), QStringList{"Greška u konekciji sa bazom!"});
    ASSERT_EQ(f.lista().count(), 3);
    EXPECT_EQ(f.lista().mark(0), MarkCopied);
    EXPECT_FALSE(f.lista().checked(1));
    EXPECT_EQ(text("Label1"), "Br.servera:3");
    EXPECT_EQ(doubleClick(0), QStringList{"Radite sa ini fajlom!"});

    // A result without a field: the data layer's error, an empty list, the
    // count as it was, and the query closed.
    useDatabase("fields.sqlite", {{"\\\\a\\b", "Prvi"}}, "select VerzijePath from VerAdmin");
    f.Loadfromdatabase1Click();
    EXPECT_EQ(messages(), QStringList{"Kveri: Field 'kratkoime' not found"});
    EXPECT_EQ(f.lista().count(), 0);
    EXPECT_EQ(text("Label1"), "Br.servera:3");
    EXPECT_FALSE(f.kveri().isOpen());
}

TEST_F(MainWindow, AddAndClearTheFileToSend) {
    TForm1& f = shownForm();
    auto enabled = [&](const char* item) {
        return app::isMenuItemEnabled(f.menuItem(QLatin1String(item)));
    };
    const char* needFile[] = {
        "Kopiraj1",      "Proveriverzije1", "Kopirajsarobocopy1",        "Obrisilistu1",
        "Otvorifolder2", "Pokrenifajl1",    "Kopirajsaexternimrobocopy1"};
    auto* fajlovi = control<QTreeWidget>("Fajlovi");

    // A cancelled dialog changes nothing.
    trigger("Dodajfajl1");
    EXPECT_EQ(fajlovi->topLevelItemCount(), 0);
    EXPECT_TRUE(enabled("Dodajfajl1"));

    // A file that cannot be read is reported with the system's reason and not held.
    app::dialogs::setNextFileName(QFile::decodeName(dir.file("missing.exe").c_str()));
    trigger("Dodajfajl1");
    QStringList shown = messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains("missing.exe") && shown[0].contains("No such file"))
        << shown[0].toStdString();
    EXPECT_EQ(fajlovi->topLevelItemCount(), 0);
    EXPECT_FALSE(enabled("Kopiraj1"));

    const QString file = QFile::decodeName(dir.write("prog.exe", QByteArray(3000, 'p')).c_str());
    app::dialogs::setNextFileName(file);
    trigger("Dodajfajl1");
    EXPECT_TRUE(messages().isEmpty());
    ASSERT_EQ(fajlovi->topLevelItemCount(), 1);
    EXPECT_EQ(fajlovi->topLevelItem(0)->text(0), file);
    EXPECT_FALSE(fajlovi->topLevelItem(0)->icon(0).isNull());
    EXPECT_TRUE(text("Label5").startsWith("Veličina fajla: 2 KB - "))
        << text("Label5").toStdString();
    EXPECT_FALSE(enabled("Dodajfajl1"));
    for (const char* item : needFile)
        EXPECT_TRUE(enabled(item)) << item;
    EXPECT_FALSE(f.menuItem("Kopirajsaexternimrobocopy1")->isVisible());
    ASSERT_TRUE(f.fileSet().image());
    EXPECT_EQ(f.fileSet().image()->size(), 3000u);

    // A second Add (reached only as a guard) refuses.
    f.Dodajfajl1Click();
    EXPECT_EQ(messages(), QStringList{"Vec postoji fajl za slanje!"});
    EXPECT_EQ(fajlovi->topLevelItemCount(), 1);

    trigger("Obrisilistu1");
    EXPECT_EQ(fajlovi->topLevelItemCount(), 0);
    EXPECT_EQ(text("Label5"), "");
    EXPECT_TRUE(enabled("Dodajfajl1"));
    for (const char* item : needFile)
        EXPECT_FALSE(enabled(item)) << item;
    EXPECT_FALSE(f.fileSet().isHeld());
}

TEST_F(MainWindow, LogPanesAppendAndClear) {
    TForm1& f = shownForm();
    f.appendMemo1("one");
    f.appendMemo1("two");
    f.appendMemo2("error");
    EXPECT_EQ(control<QPlainTextEdit>("Memo1")->toPlainText(), "one\ntwo");
    QTest::mouseClick(control<QWidget>("SpeedButton1"), Qt::LeftButton);
    EXPECT_EQ(control<QPlainTextEdit>("Memo1")->toPlainText(), "");
    EXPECT_EQ(control<QPlainTextEdit>("Memo2")->toPlainText(), "error");
    QTest::mouseClick(control<QWidget>("SpeedButton2"), Qt::LeftButton);
    EXPECT_EQ(control<QPlainTextEdit>("Memo2")->toPlainText(), "");
}

namespace {

// The contrast of two colours by their relative luminance (1 to 21).
double contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette darkDesktopPalette() {
    QPalette dark;
    const QColor light(0xee, 0xee, 0xee);
    for (auto role : {QPalette::Window, QPalette::Base, QPalette::Button, QPalette::AlternateBase})
        dark.setColor(role, QColor(0x24, 0x24, 0x24));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
                      QPalette::HighlightedText, QPalette::BrightText})
        dark.setColor(role, light);
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0xae, 0xe9));
    return dark;
}

} // namespace

TEST_F(MainWindow, EveryLabelAndPaneStaysReadableUnderADarkDesktopPalette) {
    const QPalette saved = QApplication::palette();
    QApplication::setPalette(darkDesktopPalette());
    TForm1& f = shownForm();
    f.appendMemo1("informacija");
    f.appendMemo2("greška");
    auto check = [&](const char* when) {
        const QColor window = f.palette().color(QPalette::Window);
        EXPECT_EQ(window, QColor(Qt::white)) << when;
        for (QLabel* label : f.findChildren<QLabel*>()) {
            if (label->text().isEmpty())
                continue;
            const QColor text = label->palette().color(label->foregroundRole());
            EXPECT_GE(contrast(text, window), 3.0)
                << when << ": " << label->objectName().toStdString() << " "
                << text.name().toStdString();
        }
        for (QWidget* pane :
             {control<QWidget>("Memo1"), control<QWidget>("Memo2"), control<QWidget>("Lista"),
              control<QWidget>("Fajlovi"), control<QWidget>("Ssss")}) {
            const QPalette p = pane->palette();
            EXPECT_GE(contrast(p.color(QPalette::Text), p.color(QPalette::Base)), 3.0)
                << when << ": " << pane->objectName().toStdString();
        }
        for (QWidget* titled :
             {control<QWidget>("GroupBox1"),
              static_cast<QWidget*>(control<QTableView>("Lista")->horizontalHeader())}) {
            const QPalette p = titled->palette();
            EXPECT_GE(contrast(p.color(QPalette::WindowText), window), 3.0) << when;
            EXPECT_GE(contrast(p.color(QPalette::ButtonText), p.color(QPalette::Button)), 3.0)
                << when;
        }
    };
    check("opened under a dark palette");
    // A desktop that turns dark while the window is open changes nothing either.
    QApplication::setPalette(saved);
    QApplication::setPalette(darkDesktopPalette());
    check("turned dark while open");
    if (const QByteArray shots = qgetenv("VELMORA_SCREENSHOT_DIR"); !shots.isEmpty())
        f.grab().save(QFile::decodeName(shots) + QStringLiteral("/dark-palette.png"));
    QApplication::setPalette(saved);
}

TEST_F(MainWindow, InfoAndExit) {
    TForm1& f = shownForm();
    trigger("Info1");
    const QStringList shown = messages();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_TRUE(shown[0].contains("Velmora") && shown[0].contains("2.0"));
    trigger("Krajprograma1");
    EXPECT_FALSE(f.isVisible());
}

TEST_F(MainWindow, RobocopyTempPathIsInTheUserTempFolder) {
    qputenv("TMPDIR", QFile::encodeName(QFile::decodeName(dir.path().c_str())));
    TForm1& f = shownForm();
    qunsetenv("TMPDIR");
    EXPECT_EQ(f.robocopyTempPath(), dir.path() + "Robocopy_FROM_RES.EXE");
}

// The batch commands as the user reaches them: through the menu, with the
// window's own rows, log panes, state label and limit field.
TEST_F(MainWindow, BatchCommandsRunFromTheMenu) {
    const std::string a = dir.path() + "a", b = dir.path() + "b";
    ASSERT_TRUE(QDir().mkpath(QFile::decodeName(a.c_str())));
    ASSERT_TRUE(QDir().mkpath(QFile::decodeName(b.c_str())));
    dir.write("serveri.txt", QByteArray::fromStdString(a + "\r\n" + b + "\r\n"));
    TForm1& f = shownForm();
    auto idle = [&] {
        return f.operationState().liveWorkers() == 0 && f.operationState().liveDispatchers() == 0;
    };
    auto settle = [&] { return QTest::qWaitFor(idle, 20000); };

    // Without a file, copy and version check refuse; the abort needs a row.
    f.Kopiraj1Click();
    f.Proveriverzije1Click();
    EXPECT_EQ(messages(), (QStringList{"Ubacite prvo fajl!", "Ubacite prvo fajl!"}));
    f.selectRow(-1);
    trigger("Prekinioperacuju1");
    f.selectRow(0);
    trigger("Prekinioperacuju1");
    EXPECT_EQ(messages(),
              (QStringList{"Izaberite lokaciju!", "Ne mozete prekinuti ovu operaciju!"}));
    EXPECT_EQ(f.operationState().liveDispatchers(), 0);

    // The limit field's value reaches the batches as it is typed.
    auto* limit = control<app::LimitSpinBox>("Ssss");
    limit->setValue(37);
    EXPECT_EQ(f.operationState().limit(), 37);

    app::dialogs::setNextFileName(QFile::decodeName(dir.write("prog.exe", "new").c_str()));
    trigger("Dodajfajl1");
    trigger("Kopiraj1");
    ASSERT_TRUE(settle());
    EXPECT_EQ(f.lista().mark(0), MarkCopied);
    EXPECT_EQ(f.lista().mark(1), MarkCopied);
    EXPECT_EQ(control<QLabel>("Label6")->text(), "SLOBODNO   ");
    EXPECT_EQ(control<QLabel>("Label6")->palette().color(QPalette::WindowText), QColor(0, 128, 0));
    EXPECT_EQ(control<QPlainTextEdit>("Memo1")->toPlainText().count(" - OK "), 2);

    trigger("Proveriverzije1");
    ASSERT_TRUE(settle());
    EXPECT_EQ(f.lista().mark(0), MarkGoodVersion);
    trigger("Proveridalipostojiracunar1");
    ASSERT_TRUE(settle());
    EXPECT_EQ(f.lista().mark(1), MarkReachable);
    EXPECT_TRUE(control<QPlainTextEdit>("Memo2")->toPlainText().isEmpty());
    f.Timer1Timer();
    EXPECT_EQ(text("Label3"), "Konekcije: 0");
}

TEST_F(MainWindow, ClosingWhileABatchRunsNeitherHangsNorCrashes) {
    std::string rows;
    for (int i = 0; i < 20; ++i) {
        const std::string folder = dir.path() + "s" + std::to_string(i);
        ASSERT_TRUE(QDir().mkpath(QFile::decodeName(folder.c_str())));
        rows += folder + "\r\n";
    }
    dir.write("serveri.txt", QByteArray::fromStdString(rows));
    TForm1& f = shownForm();
    app::dialogs::setNextFileName(
        QFile::decodeName(dir.write("prog.exe", QByteArray(4 << 20, 'x')).c_str()));
    trigger("Dodajfajl1");
    control<app::LimitSpinBox>("Ssss")->setValue(2);
    trigger("Kopiraj1");
    const auto context = f.batchContext();
    form.reset(); // the window closes with the dispatcher and workers at work
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return context->state().liveWorkers() == 0 && context->state().liveDispatchers() == 0;
        },
        20000));
}
