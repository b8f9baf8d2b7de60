#include "app/journal.h"

#include "platform/programpaths.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace velmora::app {

namespace {

constexpr QFileDevice::Permissions kPrivateFile = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions kPrivateFolder =
    QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
constexpr QFileDevice::Permissions kOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                             QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                             QFileDevice::WriteOther | QFileDevice::ExeOther;

// Creates the folder and every missing folder above it, each private to the user.
bool makePrivateFolder(const QString& folder) {
    QStringList missing;
    for (QString path = QDir::cleanPath(folder); !QFileInfo::exists(path);) {
        missing.prepend(path);
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            break;
        path = parent;
    }
    for (const QString& path : missing)
        if (!QDir().mkdir(path, kPrivateFolder) && !QFileInfo(path).isDir())
            return false;
    return QFileInfo(folder).isDir();
}

struct Line {
    QString path;
    QByteArray text;
};

} // namespace

struct Journal::Writer {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable drained;
    std::deque<Line> queue;
    bool writing = false;
    bool stopping = false;
    QString lastError;
    bool errorShown = false;
    std::thread thread;

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !queue.empty(); });
            if (queue.empty())
                return;
            std::deque<Line> batch;
            batch.swap(queue);
            writing = true;
            lock.unlock();
            const QString failure = write(batch);
            lock.lock();
            writing = false;
            if (!failure.isEmpty()) {
                lastError = failure;
                if (!errorShown) {
                    errorShown = true;
                    std::fprintf(stderr, "velmora: the journal cannot be written: %s\n",
                                 failure.toLocal8Bit().constData());
                }
            }
            drained.notify_all();
        }
    }

    // Writes the lines in order, opening each day's file once for the lines
    // that follow one another. The failure, empty when every line was written.
    static QString write(const std::deque<Line>& lines) {
        QString failure;
        for (std::size_t i = 0; i < lines.size();) {
            const QString& path = lines[i].path;
            std::size_t end = i;
            while (end < lines.size() && lines[end].path == path)
                ++end;
            if (const QString error = writeFile(path, lines, i, end); !error.isEmpty())
                failure = path + QStringLiteral(": ") + error;
            i = end;
        }
        return failure;
    }

    static QString writeFile(const QString& path, const std::deque<Line>& lines, std::size_t from,
                             std::size_t to) {
        if (!makePrivateFolder(QFileInfo(path).path()))
            return QStringLiteral("the folder cannot be created");
        QFile file(path);
        // Created 0600; unbuffered, so that each line is one write that the
        // system appends whole.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                       kPrivateFile))
            return file.errorString();
        // A file made by something else with wider rights is made private too.
        if (file.permissions() & kOthers)
            (void)file.setPermissions(kPrivateFile);
        for (std::size_t i = from; i < to; ++i)
            if (file.write(lines[i].text) != lines[i].text.size())
                return file.errorString();
        return {};
    }
};

Journal::Journal(QString folder) : folder_(std::move(folder)), writer_(std::make_unique<Writer>()) {
    writer_->thread = std::thread([writer = writer_.get()] { writer->run(); });
}

Journal::~Journal() {
    {
        std::lock_guard lock(writer_->mutex);
        writer_->stopping = true;
    }
    writer_->wake.notify_all();
    writer_->thread.join();
}

QString Journal::fileFor(const QDate& day) const {
    return folder_ + QStringLiteral("/journal-") + day.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(".jsonl");
}

void Journal::append(QJsonObject record) {
    const QDateTime now = QDateTime::currentDateTime();
    if (!record.contains(QLatin1String("time")))
        record.insert(QStringLiteral("time"), journalTime(now));
    record.insert(QStringLiteral("pid"), QCoreApplication::applicationPid());
    QByteArray text = QJsonDocument(record).toJson(QJsonDocument::Compact);
    text.append('\n');
    {
        std::lock_guard lock(writer_->mutex);
        if (folder_.isEmpty()) {
            writer_->lastError = QStringLiteral("no folder for the journal");
            return;
        }
        writer_->queue.push_back({fileFor(now.date()), std::move(text)});
    }
    writer_->wake.notify_one();
}

bool Journal::flush(std::chrono::milliseconds limit) {
    std::unique_lock lock(writer_->mutex);
    return writer_->drained.wait_for(
        lock, limit, [this] { return writer_->queue.empty() && !writer_->writing; });
}

QString Journal::lastError() const {
    std::lock_guard lock(writer_->mutex);
    return writer_->lastError;
}

QString defaultJournalFolder() {
    const std::string state = platform::userStateFolder();
    if (state.empty())
        return {};
    return QDir::cleanPath(QString::fromLocal8Bit(state.c_str()) + QStringLiteral("/velmora"));
}

namespace {
std::atomic<Journal*> theProgramJournal{nullptr};
} // namespace

Journal& programJournal() {
    static Journal* const journal = [] {
        auto* made = new Journal(defaultJournalFolder());
        theProgramJournal.store(made);
        return made;
    }();
    return *journal;
}

bool flushProgramJournal(std::chrono::milliseconds limit) {
    Journal* journal = theProgramJournal.load();
    return journal == nullptr || journal->flush(limit);
}

void journalWarning(const QString& subject, const QString& text) {
    programJournal().append({{QStringLiteral("record"), QStringLiteral("warning")},
                             {QStringLiteral("subject"), subject},
                             {QStringLiteral("text"), text}});
}

QString journalTime(const QDateTime& moment) {
    return moment.toOffsetFromUtc(moment.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace velmora::app
