#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <string>

namespace velmora::testsupport {

// A temporary folder that is removed with everything in it at the end of a test.
class TempFolder {
public:
    TempFolder() = default;
    std::string path() const { return QFile::encodeName(dir_.path()).toStdString() + "/"; }
    std::string file(const std::string& name) const { return path() + name; }
    // Writes the bytes to a file of the folder and returns its path.
    std::string write(const std::string& name, const QByteArray& bytes) const {
        const std::string full = file(name);
        QFile f(QFile::decodeName(full.c_str()));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return {};
        return full;
    }

private:
    QTemporaryDir dir_;
};

} // namespace velmora::testsupport
