#include "ui/TextCodec.h"

#include <QByteArray>
#include <QFile>
#include <QTextCodec>

void InitTextCodec() {
    // Under LANG=C Qt would pick US-ASCII and turn every Chinese name into '?'.
    if (QTextCodec* utf8 = QTextCodec::codecForName("UTF-8"))
        QTextCodec::setCodecForLocale(utf8);
}

QString ToQString(const char* text) {
    QTextCodec* codec = QTextCodec::codecForLocale();
    if (!codec || !text)
        return QString();
    return codec->toUnicode(text);
}

QString ToQString(const std::string& text) {
    QTextCodec* codec = QTextCodec::codecForLocale();
    if (!codec)
        return QString();
    return codec->toUnicode(text.data(), (int)text.size());
}

std::string ToGbString(const QString& text) {
    QTextCodec* codec = QTextCodec::codecForLocale();
    if (!codec)
        return std::string();
    QByteArray bytes = codec->fromUnicode(text);
    return std::string(bytes.constData(), (size_t)bytes.size());
}

QString LoadStyleSheet(const char* path) {
    QFile file(QFile::decodeName(path ? path : ""));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QByteArray bytes = file.readAll();
    QTextCodec* codec = QTextCodec::codecForName("gb2312");
    if (bytes.isEmpty() || !codec)
        return QString();
    return codec->toUnicode(bytes);
}
