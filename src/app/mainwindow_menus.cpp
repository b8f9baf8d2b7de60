// The two context menus of the main window: every item in order, with its
// caption, picture and state at start, and the handler it runs.
#include "app/imagelist.h"
#include "app/mainwindow.h"

#include <QAction>
#include <QMenu>

namespace velmora::app {
namespace {

using Handler = void (TForm1::*)();

struct MenuItem {
    const char* name;
    const char* caption; // "-" for a separator
    bool enabled;
    bool visible;
    int picture; // index in the shared image list, -1 for none
    Handler handler;
};

constexpr int kNoPicture = -1;

const MenuItem kPopupMenu1[] = {
    {"Kopiraj1", "Kopiraj fajlove!", false, true, 23, &TForm1::Kopiraj1Click},
    {"Kopirajsarobocopy1", "Kopiraj sa robocopy (100% sigurno)", false, true, 18,
     &TForm1::Kopirajsarobocopy1Click},
    {"Kopirajsaexternimrobocopy1", "Robocopy (može više kopiranja odjednom)", false, false, 18,
     &TForm1::Kopirajsaexternimrobocopy1Click},
    {"N7", "-", true, true, kNoPicture, nullptr},
    {"Prekinioperacuju1", "Prekini operacuju!", true, true, 11, &TForm1::Prekinioperacuju1Click},
    {"N8", "-", true, true, kNoPicture, nullptr},
    {"Proveriverzije1", "Proveri verzije", false, true, 26, &TForm1::Proveriverzije1Click},
    {"N5", "-", true, true, kNoPicture, nullptr},
    {"Proveridalipostojiracunar1", "Proveri da li je veza u redu", true, true, 21,
     &TForm1::Proveridalipostojiracunar1Click},
    {"Ping1", "Ping ", true, true, 13, &TForm1::Ping1Click},
    {"Pingt1", "Ping -t", true, true, 13, &TForm1::Pingt1Click},
    {"N6", "-", true, true, kNoPicture, nullptr},
    {"Otvorifolder1", "Otvori folder", true, true, 5, &TForm1::Otvorifolder1Click},
    {"N3", "-", true, true, kNoPicture, nullptr},
    {"Oznacisve1", "Označi sve", true, true, 15, &TForm1::Oznacisve1Click},
    {"Obrisisve1", "Obriši sve", true, true, 14, &TForm1::Obrisisve1Click},
    {"Oznacidostupne1", "Označi dostupne", true, true, 3, &TForm1::Oznacidostupne1Click},
    {"Oznacinedostupne1", "Označi nedostupne", true, true, 4, &TForm1::Oznacinedostupne1Click},
    {"Oznaikaouspenokopirane1", "Označi uspešno kopirane", true, true, 1,
     &TForm1::Oznaikaouspenokopirane1Click},
    {"Oznacisamoneuspesne1", "Označi neuspešno kopirane", true, true, 2,
     &TForm1::Oznacisamoneuspesne1Click},
    {"Oznaisvenepoznate1", "Označi nepoznate", true, true, 0, &TForm1::Oznaisvenepoznate1Click},
    {"Oznailoeverzije1", "Označi loše verzije", true, true, 28, &TForm1::Oznailoeverzije1Click},
    {"Oznaidobreverzije1", "Označi dobre verzije", true, true, 29,
     &TForm1::Oznaidobreverzije1Click},
    {"N2", "-", true, true, kNoPicture, nullptr},
    {"Oznaikaodostupan1", "Čekirane oboj kao uspešno kopirane", true, true, 1,
     &TForm1::Oznaikaodostupan1Click},
    {"Oznaiizabranikaoneuraen1", "Čekirane oboj kao neuspešno kopirane", true, true, 2,
     &TForm1::Oznaiizabranikaoneuraen1Click},
    {"Oznaiizabranikaodajedobraverzija1", "Čekirane oboj kao da su dobre verzije", true, true, 29,
     &TForm1::Oznaiizabranikaodajedobraverzija1Click},
    {"Oznaiizabranikaodajeloaverzija1", "Čekirane oboj kao da su loše verzije", true, true, 28,
     &TForm1::Oznaiizabranikaodajeloaverzija1Click},
    {"Oznaiizabranikaodajenepoznat1", "Čekirane oboj kao da su nepoznati", true, true, 0,
     &TForm1::Oznaiizabranikaodajenepoznat1Click},
    {"ekiraniobojkaonedostupan1", "Čekirane oboj kao nedostupane", true, true, 34,
     &TForm1::ekiraniobojkaonedostupan1Click},
    {"ekiranimobriiinformacije1", "Čekiranim obriši informacije", true, true, kNoPicture,
     &TForm1::ekiranimobriiinformacije1Click},
    {"N1", "-", true, true, kNoPicture, nullptr},
    {"Loadfromdatabase1", "Load from database", false, false, 25, &TForm1::Loadfromdatabase1Click},
    {"Loadfromserveriinifile1", "Load from serveri.txt file", true, true, 25,
     &TForm1::Loadfromserveriinifile1Click},
    {"N9", "-", true, true, kNoPicture, nullptr},
    {"Info1", "Info", true, true, 12, &TForm1::Info1Click},
    {"Krajprograma1", "Kraj programa", true, true, 32, &TForm1::Krajprograma1Click},
};

const MenuItem kPopupMenu2[] = {
    {"Dodajfajl1", "Dodaj fajl", true, true, 5, &TForm1::Dodajfajl1Click},
    {"Obrisilistu1", "Obriši listu", false, true, 6, &TForm1::Obrisilistu1Click},
    {"N4", "-", true, true, kNoPicture, nullptr},
    {"Otvorifolder2", "Otvori folder", false, true, 5, &TForm1::Otvorifolder2Click},
    {"Pokrenifajl1", "Pokreni fajl", false, true, 33, &TForm1::Pokrenifajl1Click},
};

} // namespace

void TForm1::buildMenus() {
    auto fill = [this](QMenu* menu, const auto& items) {
        for (const MenuItem& item : items) {
            auto* action = new QAction(menu);
            action->setObjectName(QLatin1String(item.name));
            if (qstrcmp(item.caption, "-") == 0) {
                action->setSeparator(true);
            } else {
                // Captions are plain text: an "&" would make a keyboard mnemonic.
                action->setText(QString::fromUtf8(item.caption));
                setMenuItemEnabled(action, item.enabled);
                action->setProperty("imageIndex", item.picture);
                if (item.picture != kNoPicture)
                    action->setIcon(imageListIcon(item.picture));
                action->setIconVisibleInMenu(true);
                if (item.handler)
                    connect(action, &QAction::triggered, this, item.handler);
            }
            action->setVisible(item.visible);
            menu->addAction(action);
            menuItems_.insert(action->objectName(), action);
        }
    };
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    fill(PopupMenu1, kPopupMenu1);
    PopupMenu2 = new QMenu(this);
    PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
    fill(PopupMenu2, kPopupMenu2);
}

} // namespace velmora::app
