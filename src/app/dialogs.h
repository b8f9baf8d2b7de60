#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every modal box and the file-open dialog go through these functions, so that
// tests can answer them without anyone clicking.
namespace velmora::app::dialogs {

// A modal box with the text, one OK button and the application title as
// caption; returns when the user has closed it.
void showMessage(QWidget* parent, const QString& text);

// The file-open dialog with no filter; an empty text when the user cancels.
QString chooseFileToOpen(QWidget* parent);

// Test hooks. While answering automatically, showMessage() records the text
// instead of showing a box, and chooseFileToOpen() returns the next file name
// set (or an empty text, a cancel, when none is set).
void setAnswerAutomatically(bool automatic);
void setNextFileName(const QString& fileName);
QStringList takeShownMessages();

// Answers automatically when the environment variable VELMORA_NONINTERACTIVE
// is set to 1; the recorded texts then also go to standard error, so that a
// test that runs the program as a process can read them.
void answerAutomaticallyIfRequested();

} // namespace velmora::app::dialogs
