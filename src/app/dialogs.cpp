#include "app/dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>
#include <optional>

namespace velmora::app::dialogs {
namespace {

struct AutomaticAnswers {
    bool enabled = false;
    bool echoToStderr = false;
    std::optional<QString> nextFileName;
    QStringList shown;
};

AutomaticAnswers& answers() {
    static AutomaticAnswers a;
    return a;
}

} // namespace

void showMessage(QWidget* parent, const QString& text) {
    AutomaticAnswers& a = answers();
    if (a.enabled) {
        a.shown.append(text);
        if (a.echoToStderr) {
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
            std::fflush(stderr);
        }
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok,
                    parent);
    box.exec();
}

QString chooseFileToOpen(QWidget* parent) {
    AutomaticAnswers& a = answers();
    if (a.enabled) {
        QString name = a.nextFileName.value_or(QString());
        a.nextFileName.reset();
        return name;
    }
    // Qt's dialog answers with "/" on Windows too; the path rules and the
    // tools the path is handed to take the system's own "\".
    return QDir::toNativeSeparators(QFileDialog::getOpenFileName(parent));
}

void setAnswerAutomatically(bool automatic) {
    answers().enabled = automatic;
}

void setNextFileName(const QString& fileName) {
    answers().nextFileName = fileName;
}

QStringList takeShownMessages() {
    QStringList shown;
    shown.swap(answers().shown);
    return shown;
}

void answerAutomaticallyIfRequested() {
    if (qEnvironmentVariable("VELMORA_NONINTERACTIVE") == QLatin1String("1")) {
        answers().enabled = true;
        answers().echoToStderr = true;
    }
}

} // namespace velmora::app::dialogs
