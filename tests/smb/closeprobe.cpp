// Stands in for the window closed in the middle of a copy batch: copies the file
// to every folder named, with the limit at their number, and once the given
// number of rows have been copied closes the batch context as the window's
// destructor does and ends the process the way the program's main() does.
//
// Arguments: rows copied before the close, file to send, then the server folders.
#include "app/formats.h"
#include "batch/batchcontext.h"
#include "batch/kopirajstart.h"
#include "batch/processend.h"
#include "support/fakebatchwindow.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    QCoreApplication application(argc, argv);
    velmora::app::applyProgramFormats();
    const int closeAfterCopies = std::atoi(argv[1]);
    velmora::testsupport::FakeBatchWindow window;
    if (!window.fileSet().add(argv[2]).ok())
        return 3;
    std::vector<std::string> folders(argv + 3, argv + argc);
    window.load(folders);
    auto context = std::make_shared<velmora::batch::BatchContext>(window);
    context->state().setLimit(static_cast<int>(folders.size()));
    (new velmora::batch::TKopirajStart(context))->Start();
    while (window.memo1.filter(QStringLiteral(" - OK ")).size() < closeAfterCopies &&
           context->state().liveDispatchers() + context->state().liveWorkers() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    // What the window showed until the close, for the test's messages.
    for (const QString& line : window.memo1 + window.memo2)
        std::printf("%s\n", line.toLocal8Bit().constData());
    context->close();
    velmora::batch::endProcess(0);
}
