#include "app/mainwindow.h"

#include "app/dialogs.h"
#include "app/formats.h"
#include "app/imagelist.h"
#include "app/journal.h"
#include "app/limitspinbox.h"
#include "platform/paths.h"
#include "platform/programpaths.h"
#include "platform/shell.h"
#include "serverlist/databasesource.h"
#include "serverlist/filesource.h"
#include "serverlist/markingcommands.h"
#include "serverlist/marks.h"
#include "serverlist/systemtext.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

namespace velmora::app {
namespace {

using namespace serverlist;

constexpr int kClientWidth = 1029;
constexpr int kClientHeight = 651;
constexpr int kFileRowPicture = 25;

const QColor kSkyBlue(166, 202, 240);
const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kYellow(255, 255, 0);

// The fonts of the layout; where a Windows font is missing, the system's
// nearest sans-serif font stands in (see installFontSubstitutes).
QFont layoutFont(const QString& family, int points, bool bold = false) {
    QFont font(family, points);
    font.setStyleHint(QFont::SansSerif);
    font.setBold(bold);
    return font;
}

void installFontSubstitutes() {
    const QStringList nearest = {QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                                 QStringLiteral("DejaVu Sans")};
    for (const char* family : {"MS Sans Serif", "Tahoma", "Verdana"})
        if (!QFontInfo(QFont(QLatin1String(family))).exactMatch())
            QFont::insertSubstitutions(QLatin1String(family), nearest);
}

// The window's own colours, whatever the desktop's palette: every role that a
// control of the window draws with, set here, so that none comes from a dark
// desktop theme and turns white on the window's white.
QPalette windowPalette() {
    const QColor face(240, 240, 240);
    const QColor grey(120, 120, 120);
    QPalette p;
    const struct {
        QPalette::ColorRole role;
        QColor colour;
    } roles[] = {
        {QPalette::Window, Qt::white},
        {QPalette::WindowText, Qt::black},
        {QPalette::Base, Qt::white},
        {QPalette::AlternateBase, QColor(245, 245, 245)},
        {QPalette::Text, Qt::black},
        {QPalette::PlaceholderText, grey},
        {QPalette::Button, face},
        {QPalette::ButtonText, Qt::black},
        {QPalette::BrightText, Qt::white},
        {QPalette::Light, Qt::white},
        {QPalette::Midlight, QColor(227, 227, 227)},
        {QPalette::Mid, QColor(160, 160, 160)},
        {QPalette::Dark, QColor(105, 105, 105)},
        {QPalette::Shadow, Qt::black},
        {QPalette::Highlight, QColor(0, 120, 215)},
        {QPalette::HighlightedText, Qt::white},
        {QPalette::Link, QColor(0, 0, 255)},
        {QPalette::LinkVisited, QColor(128, 0, 128)},
        {QPalette::ToolTipBase, QColor(255, 255, 225)},
        {QPalette::ToolTipText, Qt::black},
    };
    for (const auto& r : roles)
        p.setColor(r.role, r.colour);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, grey);
    return p;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    widget->setPalette(p);
}

QLabel* makeLabel(QWidget* parent, const char* name, const QString& text, int left, int top) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->move(left, top);
    label->adjustSize();
    return label;
}

// Shows each row's status mark as its picture from the shared image list, and
// the window's tooltip of the row over every cell of it.
class MarkPictureProxy : public QIdentityProxyModel {
public:
    MarkPictureProxy(const TForm1& form, QObject* parent)
        : QIdentityProxyModel(parent), form_(form) {}
    QVariant data(const QModelIndex& index, int role) const override {
        if (role == Qt::DecorationRole && index.column() == ServerListModel::CaptionColumn)
            return imageListIcon(
                QIdentityProxyModel::data(index, ServerListModel::MarkRole).toInt());
        if (role == Qt::ToolTipRole && index.isValid())
            return form_.rowToolTip(index.row());
        return QIdentityProxyModel::data(index, role);
    }

private:
    const TForm1& form_;
};

} // namespace

TForm1::TForm1(ProgramPaths paths, batch::FileSystemResolver fileSystems, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      paths_(std::move(paths)), journal_(&programJournal()) {
    setObjectName(QStringLiteral("Form1"));
    batchContext_ = std::make_shared<batch::BatchContext>(*this, std::move(fileSystems));
    FormCreate();
}

TForm1::~TForm1() {
    // Workers that still run find the window gone and stop reporting; waiting
    // dispatchers give up. Nothing waits for them.
    journalExit();
    batchContext_->close();
}

void TForm1::FormCreate() {
    applyProgramFormats();
    robocopyTempPath_ = platform::userTempFolder() + "Robocopy_FROM_RES.EXE";

    installFontSubstitutes();
    setWindowTitle(QStringLiteral("Velmora  v2.0 "));
    setFont(layoutFont(QStringLiteral("MS Sans Serif"), 8));
    setFixedSize(kClientWidth, kClientHeight);
    // Before the controls, which take it over and change only their own colours.
    setPalette(windowPalette());
    setAutoFillBackground(true);

    buildControls();
    buildMenus();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    Timer1->start();
}

void TForm1::buildControls() {
    const QFont tahoma = layoutFont(QStringLiteral("Tahoma"), 8);
    const QFont tahomaBold = layoutFont(QStringLiteral("Tahoma"), 8, true);

    Fajlovi = new QTreeWidget(this);
    Fajlovi->setObjectName(QStringLiteral("Fajlovi"));
    Fajlovi->setGeometry(0, 0, 321, 81);
    Fajlovi->setColumnCount(1);
    Fajlovi->setHeaderLabels({QStringLiteral("Fajl za slanje")});
    Fajlovi->header()->setStretchLastSection(true);
    Fajlovi->header()->setSectionsClickable(false);
    Fajlovi->setRootIsDecorated(false);
    Fajlovi->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Fajlovi->setIconSize(QSize(16, 16));
    {
        QPalette fp = Fajlovi->palette();
        fp.setColor(QPalette::Base, kSkyBlue);
        Fajlovi->setPalette(fp);
    }
    Fajlovi->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Fajlovi, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu2->popup(Fajlovi->viewport()->mapToGlobal(at)); });

    Label5 = makeLabel(this, "Label5", QStringLiteral("Veličina"), 4, 80);
    Label5->setFont(tahomaBold);
    Label5->adjustSize();

    Label1 = makeLabel(this, "Label1", QStringLiteral("Br.servera:"), 328, 75);
    Label1->setFont(tahoma);
    setTextColour(Label1, Qt::black);
    Label3 = makeLabel(this, "Label3", QStringLiteral("Inicijalizacija"), 328, 89);
    Label3->setFont(tahomaBold);
    setTextColour(Label3, kBlue);
    Label7 = makeLabel(this, "Label7", QStringLiteral("status:"), 328, 103);
    Label6 = makeLabel(this, "Label6", QStringLiteral("SLOBODNO"), 328, 117);
    Label6->setFont(layoutFont(QStringLiteral("Verdana"), 8, true));
    setTextColour(Label6, kGreen);
    for (QLabel* grows : {Label1, Label3, Label5, Label6})
        grows->setMinimumWidth(grows == Label5 ? 317 : 80);

    Label8 = makeLabel(this, "Label8", QStringLiteral("K:"), 13, 126);
    Ssss = new LimitSpinBox(this);
    Ssss->setObjectName(QStringLiteral("Ssss"));
    Ssss->setGeometry(26, 123, 41, 22);
    // The dispatchers read the limit from this copy, kept current on every edit.
    batchContext_->state().setLimit(Ssss->liveValue());
    connect(Ssss, &LimitSpinBox::liveValueChanged, this,
            [this](int value) { batchContext_->state().setLimit(value); });

    Image2 = new QLabel(this);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->setGeometry(72, 115, 33, 33);
    Image2->setPixmap(warningPicture33());
    Label9 =
        makeLabel(this, "Label9", QStringLiteral("WinXp sp2 može max 10 konekcija!"), 112, 131);

    GroupBox1 = new QGroupBox(QStringLiteral("Status"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(1, 151, 408, 479);
    // The caption sits on the frame's top line, as a Windows group box draws it,
    // so that the controls inside keep their places below it. A style sheet
    // takes its colours from the desktop, not from the window: the caption's
    // colour is named here.
    GroupBox1->setStyleSheet(QStringLiteral(
        "QGroupBox { color: black; background-color: white; border: 1px solid #b4b4b4;"
        " border-radius: 2px;"
        " margin-top: 6px; }"
        "QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 2px; }"));

    Label4 = makeLabel(GroupBox1, "Label4", QStringLiteral("informacije o radu"), 10, 16);
    Label4->setFont(tahomaBold);
    Label4->adjustSize();
    setTextColour(Label4, kGreen);
    Label2 = makeLabel(GroupBox1, "Label2", QStringLiteral("lista greškaka"), 10, 330);
    Label2->setFont(tahomaBold);
    Label2->adjustSize();
    setTextColour(Label2, kRed);

    auto makeClearButton = [this](const char* name, int left, int top) {
        auto* button = new QToolButton(GroupBox1);
        button->setObjectName(QLatin1String(name));
        button->setGeometry(left, top, 30, 22);
        button->setAutoRaise(true);
        button->setIcon(QIcon(blankPagePicture()));
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    SpeedButton1 = makeClearButton("SpeedButton1", 374, 6);
    SpeedButton2 = makeClearButton("SpeedButton2", 370, 321);
    connect(SpeedButton1, &QToolButton::clicked, this, &TForm1::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TForm1::SpeedButton2Click);

    auto makeMemo = [this, &tahoma](const char* name, const QColor& text, int left, int top,
                                    int width, int height) {
        auto* memo = new QPlainTextEdit(GroupBox1);
        memo->setObjectName(QLatin1String(name));
        memo->setGeometry(left, top, width, height);
        memo->setReadOnly(true);
        memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        QFont small = tahoma;
        small.setPointSize(7);
        memo->setFont(small);
        QPalette mp = memo->palette();
        mp.setColor(QPalette::Base, Qt::black);
        mp.setColor(QPalette::Text, text);
        memo->setPalette(mp);
        return memo;
    };
    Memo1 = makeMemo("Memo1", kYellow, 8, 29, 393, 292);
    Memo2 = makeMemo("Memo2", kRed, 8, 344, 393, 129);

    Lista = new QTableView(this);
    Lista->setObjectName(QStringLiteral("Lista"));
    Lista->setGeometry(408, 0, 621, 632);
    auto* proxy = new MarkPictureProxy(*this, Lista);
    proxy->setSourceModel(&listaModel_);
    Lista->setModel(proxy);
    Lista->setShowGrid(true);
    Lista->setSelectionBehavior(QAbstractItemView::SelectRows);
    Lista->setSelectionMode(QAbstractItemView::SingleSelection);
    Lista->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Lista->setWordWrap(false);
    Lista->setTextElideMode(Qt::ElideRight);
    Lista->setIconSize(QSize(16, 16));
    Lista->verticalHeader()->hide();
    Lista->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    Lista->verticalHeader()->setDefaultSectionSize(18);
    Lista->horizontalHeader()->setHighlightSections(false);
    Lista->horizontalHeader()->setSectionsClickable(false);
    Lista->horizontalHeader()->setStretchLastSection(false);
    Lista->setColumnWidth(ServerListModel::CaptionColumn, 260);
    Lista->setColumnWidth(ServerListModel::PercentColumn, 42);
    Lista->setColumnWidth(ServerListModel::InfoColumn, 150);
    Lista->setColumnWidth(ServerListModel::PlaceColumn, 300);
    Lista->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Lista, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupMenu1->popup(Lista->viewport()->mapToGlobal(at)); });
    Lista->viewport()->installEventFilter(this);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    // A double-click anywhere in the server list acts on the selected row.
    if (watched == Lista->viewport() && event->type() == QEvent::MouseButtonDblClick &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        ListaDblClick();
    }
    return QWidget::eventFilter(watched, event);
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    if (QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
    FormShow();
}

void TForm1::FormShow() {
    operationState().resetLiveWorkers();
    Label3->setText(QStringLiteral("Inicijalizacija"));
    Label5->setText(QString());
    loadServerFile();
    journalStart();
}

void TForm1::Timer1Timer() {
    Label3->setText(QStringLiteral("Konekcije: %1").arg(operationState().liveWorkers()));
}

int TForm1::selectedRow() const {
    const QModelIndexList rows = Lista->selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void TForm1::selectRow(int row) {
    if (row < 0)
        Lista->clearSelection();
    else
        Lista->selectRow(row);
}

void TForm1::appendMemo1(const QString& line) {
    Memo1->appendPlainText(line);
}

void TForm1::appendMemo2(const QString& line) {
    Memo2->appendPlainText(line);
}

void TForm1::setStateLabel(batch::StateColour colour, const QString& caption) {
    setTextColour(Label6, colour == batch::StateColour::Busy ? kRed : kGreen);
    Label6->setText(caption);
}

QAction* TForm1::menuItem(const QString& name) const {
    return menuItems_.value(name);
}

void TForm1::Info1Click() {
    dialogs::showMessage(this, QStringLiteral("Velmora v2.0\n\n"
                                              "Šalje novu verziju programa u deljene foldere "
                                              "više servera odjednom, čuva prethodnu verziju i "
                                              "proverava verzije i veze."));
}

void TForm1::Krajprograma1Click() {
    close();
}

void TForm1::SpeedButton1Click() {
    Memo1->clear();
}

void TForm1::SpeedButton2Click() {
    Memo2->clear();
}

void TForm1::ListaDblClick() {
    if (selectedRow() < 0)
        return;
    if (!Kveri.isOpen()) {
        dialogs::showMessage(this, QStringLiteral("Radite sa ini fajlom!"));
        return;
    }
    // While the query is open the list holds exactly its records, so every
    // row finds one; should none match, there is no short name to show.
    const std::optional<QString> shortName =
        serverlist::locateShortName(Kveri, listaModel_.caption(selectedRow()));
    if (shortName)
        dialogs::showMessage(this, *shortName);
}

void TForm1::loadServerFile() {
    const std::string path = paths_.serverListFile.empty()
                                 ? serverlist::serverFilePath(paths_.programFolder)
                                 : paths_.serverListFile;
    const platform::Status loaded = serverlist::loadServerFile(listaModel_, path);
    if (!loaded) {
        dialogs::showMessage(this, QStringLiteral("Cannot open file \"%1\". %2")
                                       .arg(serverlist::decodeSystemText(path),
                                            serverlist::decodeSystemText(loaded.error().message)));
        return;
    }
    Label1->setText(serverlist::serverCountText(listaModel_.count()));
    Label1->adjustSize();
}

void TForm1::Loadfromserveriinifile1Click() {
    Kveri.close();
    loadServerFile();
}

void TForm1::Loadfromdatabase1Click() {
    const serverlist::DatabaseLoad loaded = serverlist::loadServerDatabase(listaModel_, Kveri);
    if (loaded.outcome == serverlist::DatabaseLoad::NotConnected) {
        dialogs::showMessage(this, QStringLiteral("Greška u konekciji sa bazom!"));
        return;
    }
    if (!loaded.ok()) {
        // The list has been emptied; the count keeps its text, as after a
        // failed file load.
        dialogs::showMessage(this, serverlist::decodeSystemText(loaded.error.message));
        return;
    }
    Label1->setText(serverlist::serverCountText(listaModel_.count()));
    Label1->adjustSize();
}

// Select commands.
void TForm1::Oznacisve1Click() {
    checkAll(listaModel_);
}
void TForm1::Obrisisve1Click() {
    uncheckAll(listaModel_);
}
void TForm1::Oznacidostupne1Click() {
    checkExactlyMarked(listaModel_, MarkReachable);
}
void TForm1::Oznacinedostupne1Click() {
    checkExactlyMarked(listaModel_, MarkUnreachable);
}
void TForm1::Oznaikaouspenokopirane1Click() {
    checkExactlyMarked(listaModel_, MarkCopied);
}
void TForm1::Oznacisamoneuspesne1Click() {
    checkExactlyMarked(listaModel_, MarkCopyFailed);
}
void TForm1::Oznaisvenepoznate1Click() {
    checkExactlyMarked(listaModel_, MarkUnknown);
}
void TForm1::Oznailoeverzije1Click() {
    checkExactlyMarked(listaModel_, MarkBadVersion);
}
void TForm1::Oznaidobreverzije1Click() {
    checkExactlyMarked(listaModel_, MarkGoodVersion);
}

// Paint commands.
void TForm1::Oznaikaodostupan1Click() {
    forgetNotesOfCheckedRows();
    paintChecked(listaModel_, MarkCopied, QStringLiteral("100%"), QStringLiteral("OK"));
}
void TForm1::Oznaiizabranikaoneuraen1Click() {
    forgetNotesOfCheckedRows();
    paintChecked(listaModel_, MarkCopyFailed, QStringLiteral("NO"),
                 QStringLiteral("neuspešno kopiran?"));
}
void TForm1::Oznaiizabranikaodajedobraverzija1Click() {
    forgetNotesOfCheckedRows();
    paintChecked(listaModel_, MarkGoodVersion, QStringLiteral("OK"), QStringLiteral("OK"));
}
void TForm1::Oznaiizabranikaodajeloaverzija1Click() {
    forgetNotesOfCheckedRows();
    paintChecked(listaModel_, MarkBadVersion, QStringLiteral("NO"), QStringLiteral("loša verzija"));
}
void TForm1::Oznaiizabranikaodajenepoznat1Click() {
    forgetNotesOfCheckedRows();
    paintChecked(listaModel_, MarkUnknown, QStringLiteral("?"), QStringLiteral("?"));
}
void TForm1::ekiraniobojkaonedostupan1Click() {
    forgetNotesOfCheckedRows();
    paintChecked(listaModel_, MarkHandUnreachable, QStringLiteral("***"),
                 QStringLiteral("nedostupan računar"));
}
void TForm1::ekiranimobriiinformacije1Click() {
    forgetNotesOfCheckedRows();
    clearInfoOfChecked(listaModel_);
}

// File set.
namespace {

// A name from the file dialog as the platform layer takes it: UTF-8 on
// Windows, where Qt's own file-name encoding is the ANSI code page and would
// lose the names outside it; Qt's file-name encoding elsewhere.
std::string platformFileName(const QString& name) {
#ifdef Q_OS_WIN
    return name.toUtf8().toStdString();
#else
    return QFile::encodeName(name).toStdString();
#endif
}

} // namespace

void TForm1::Dodajfajl1Click() {
    if (Fajlovi->topLevelItemCount() > 0) {
        dialogs::showMessage(this, QStringLiteral("Vec postoji fajl za slanje!"));
        return;
    }
    const QString chosen = dialogs::chooseFileToOpen(this);
    if (chosen.isEmpty())
        return;

    // The file is read before anything is shown, so that a file that cannot be
    // read leaves the set empty instead of holding a row without content.
    auto added = fileSet_.add(platformFileName(chosen));
    if (!added) {
        dialogs::showMessage(this,
                             QStringLiteral("Ne mogu da učitam fajl %1: %2")
                                 .arg(chosen, serverlist::decodeSystemText(added.error().message)));
        return;
    }

    auto* row = new QTreeWidgetItem(Fajlovi, {chosen});
    row->setIcon(0, imageListIcon(kFileRowPicture));
    setFileMenuState(true);

    if (added.value() == fileset::FileSet::AddOutcome::EntryMissing) {
        dialogs::showMessage(this, QStringLiteral("Greška prilikom učitavanja!"));
        return;
    }
    Label5->setText(fileSet_.sizeLine());
    Label5->adjustSize();
}

void TForm1::Obrisilistu1Click() {
    Fajlovi->clear();
    setFileMenuState(false);
    Label5->setText(QString());
    fileSet_.clear();
}

void TForm1::Otvorifolder2Click() {
    if (!fileSet_.isHeld())
        return;
    // The shell reports its own errors; the command has none of its own.
    (void)platform::shellOpenNative(platform::nativeFolderOf(fileSet_.path()), shellOwner());
}

void TForm1::Pokrenifajl1Click() {
    if (!fileSet_.isHeld())
        return;
    (void)platform::shellOpenNative(fileSet_.path(), shellOwner());
}

void TForm1::setFileMenuState(bool fileHeld) {
    setMenuItemEnabled(menuItem(QStringLiteral("Kopirajsarobocopy1")), fileHeld);
    setMenuItemEnabled(menuItem(QStringLiteral("Obrisilistu1")), fileHeld);
    setMenuItemEnabled(menuItem(QStringLiteral("Dodajfajl1")), !fileHeld);
    for (const char* name : {"Kopiraj1", "Proveriverzije1", "Otvorifolder2", "Pokrenifajl1",
                             "Kopirajsaexternimrobocopy1"})
        setMenuItemEnabled(menuItem(QLatin1String(name)), fileHeld);
}

void setMenuItemEnabled(QAction* item, bool enabled) {
    item->setEnabled(enabled);
    item->setProperty(kItemEnabledProperty, enabled);
}

bool isMenuItemEnabled(const QAction* item) {
    return item->property(kItemEnabledProperty).toBool();
}

} // namespace velmora::app
