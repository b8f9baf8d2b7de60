#include "serverlist/systemtext.h"

#include "platform/charset.h"
#include "platform/listcharset.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace velmora::serverlist {

QString decodeText(std::string_view bytes, const std::string& characterSet) {
    const QByteArrayView view(bytes.data(), static_cast<qsizetype>(bytes.size()));
    if (!platform::sameCharacterSet(characterSet, "UTF-8")) {
        QStringDecoder decoder(characterSet.c_str());
        if (decoder.isValid())
            return decoder.decode(view);
        // A set that Qt does not know but the system converts.
        if (const auto utf8 = platform::convertText(bytes, characterSet, "UTF-8"))
            return QString::fromStdString(*utf8);
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

QString decodeListText(std::string_view bytes) {
#ifdef Q_OS_WIN
    return decodeSystemText(bytes);
#else
    return decodeText(bytes, platform::listCharacterSet());
#endif
}

std::string encodeListText(const QString& text) {
#ifdef Q_OS_WIN
    // The platform layer's names on Windows are UTF-8: every name fits.
    return text.toUtf8().toStdString();
#else
    // The reverse of decodeListText: the plain C locale's ASCII counts as UTF-8.
    const std::string characterSet = platform::listCharacterSet();
    if (!platform::sameCharacterSet(characterSet, "UTF-8")) {
        QStringEncoder encoder(characterSet.c_str());
        if (encoder.isValid()) {
            const QByteArray bytes = encoder.encode(text);
            return bytes.toStdString();
        }
        const std::string utf8 = text.toStdString();
        if (const auto converted = platform::convertText(utf8, "UTF-8", characterSet))
            return *converted;
    }
    return text.toStdString();
#endif
}

} // namespace velmora::serverlist
