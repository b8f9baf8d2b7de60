#pragma once

#include "app/formats.h"
#include "batch/batchcontext.h"
#include "serverlist/marks.h"
#include "support/fakebatchwindow.h"
#include "support/faultyfilesystem.h"
#include "support/qtprinting.h"
#include "support/tempfolder.h"

#include <QByteArray>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace velmora::testsupport {

// Real folders, a window without widgets, and batches that run on their own
// threads through a file system that can be made to fail.
class BatchFixture : public testing::Test {
protected:
    BatchFixture() {
        app::applyProgramFormats();
        context = std::make_shared<batch::BatchContext>(
            window, [this](const std::string&) -> platform::FileSystem& { return fileSystem; });
    }
    ~BatchFixture() override {
        // A failed test may leave threads in a gate: let them run out, with the
        // window gone, before the file system and folders go.
        context->close();
        fileSystem.writeGate.open();
        fileSystem.folderGate.open();
        fileSystem.renameGate.open();
        processEventsUntil([this] { return idle(); }, 10000);
    }

    bool idle() const {
        return context->state().liveWorkers() == 0 && context->state().liveDispatchers() == 0;
    }
    // Runs events until every dispatcher and worker has ended.
    void settle() {
        ASSERT_TRUE(processEventsUntil([this] { return idle(); })) << "batch hung";
    }

    std::string folder(const std::string& name) {
        const std::string path = temp.file(name);
        EXPECT_TRUE(QDir().mkpath(QFile::decodeName(path.c_str())));
        return path;
    }
    std::string put(const std::string& path, const QByteArray& bytes) {
        QFile file(QFile::decodeName(path.c_str()));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size()) << path;
        return path;
    }
    static QByteArray contentOf(const std::string& path) {
        QFile file(QFile::decodeName(path.c_str()));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static bool exists(const std::string& path) {
        return QFile::exists(QFile::decodeName(path.c_str()));
    }
    // Holds a local file of the given content in the window's file set.
    std::string holdFile(const QByteArray& bytes, const std::string& name = "prog.exe") {
        const std::string path = put(folder("release") + "/" + name, bytes);
        EXPECT_TRUE(window.fileSet().add(path).ok());
        return path;
    }
    serverlist::ServerListModel& lista() { return window.lista(); }
    QString info(int row) { return lista().subItem(row, 1); }
    QString percent(int row) { return lista().subItem(row, 0); }

    TempFolder temp;
    FakeBatchWindow window;
    FaultyFileSystem fileSystem;
    std::shared_ptr<batch::BatchContext> context;
};

// n bytes of a pattern that shows a block written out of place.
inline QByteArray patternBytes(int n) {
    QByteArray bytes(n, '\0');
    for (int i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 2048) & 0xff);
    return bytes;
}

} // namespace velmora::testsupport
