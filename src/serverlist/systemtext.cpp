#include "serverlist/systemtext.h"

#include "platform/charset.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace velmora::serverlist {

QString decodeText(std::string_view bytes, const std::string& characterSet) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (characterSet != "UTF-8" && characterSet != "ANSI_X3.4-1968") {
        QStringDecoder decoder(characterSet.c_str());
        if (decoder.isValid())
            return decoder.decode(view);
    }
    return QString::fromUtf8(view);
}

QString decodeSystemText(std::string_view bytes) {
#ifdef Q_OS_WIN
    // As the platform layer takes names on Windows: UTF-8 where the bytes are
    // UTF-8, else the ANSI code page (Qt's local 8-bit codec there).
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromLocal8Bit(bytes.data(), static_cast<qsizetype>(bytes.size()));
#else
    static const std::string characterSet = platform::systemCharacterSet();
    return decodeText(bytes, characterSet);
#endif
}

std::string encodeSystemText(const QString& text) {
#ifdef Q_OS_WIN
    // The platform layer's names on Windows are UTF-8: every name fits.
    return text.toUtf8().toStdString();
#else
    // The reverse of decodeSystemText: the plain C locale's ASCII counts as UTF-8.
    static const std::string characterSet = platform::systemCharacterSet();
    if (characterSet != "UTF-8" && characterSet != "ANSI_X3.4-1968") {
        QStringEncoder encoder(characterSet.c_str());
        if (encoder.isValid()) {
            const QByteArray bytes = encoder.encode(text);
            return bytes.toStdString();
        }
    }
    return text.toStdString();
#endif
}

} // namespace velmora::serverlist
