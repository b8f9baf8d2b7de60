// The batch commands of the server list: each starts its dispatcher and
// returns at once; the abort acts on the selected row.
#include "app/mainwindow.h"

#include "app/dialogs.h"
#include "batch/abortcopy.h"
#include "batch/kopirajstart.h"
#include "batch/proverastart.h"
#include "batch/verstart.h"

#include <QTreeWidget>

namespace velmora::app {

namespace {
const QString kNoFile = QStringLiteral("Ubacite prvo fajl!");
} // namespace

void TForm1::Kopiraj1Click() {
    if (Fajlovi->topLevelItemCount() != 1) {
        dialogs::showMessage(this, kNoFile);
        return;
    }
    (new batch::TKopirajStart(batchContext_))->Start();
}

void TForm1::Proveriverzije1Click() {
    if (Fajlovi->topLevelItemCount() != 1) {
        dialogs::showMessage(this, kNoFile);
        return;
    }
    (new batch::TVerStart(batchContext_))->Start();
}

void TForm1::Proveridalipostojiracunar1Click() {
    (new batch::TProveraStart(batchContext_))->Start();
}

void TForm1::Prekinioperacuju1Click() {
    switch (batch::abortCopy(operationState(), listaModel_, selectedRow())) {
    case batch::AbortOutcome::NoRowSelected:
        dialogs::showMessage(this, QStringLiteral("Izaberite lokaciju!"));
        break;
    case batch::AbortOutcome::NotWorking:
        dialogs::showMessage(this, QStringLiteral("Ne mozete prekinuti ovu operaciju!"));
        break;
    case batch::AbortOutcome::Aborted:
        break;
    }
}

} // namespace velmora::app
