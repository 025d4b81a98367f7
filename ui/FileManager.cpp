#include "ui/FileManager.h"

#include <QFileInfo>
#include <QProcess>
#include <QStringList>
#include <QUrl>

// ShowItems over dbus-send, falling back to xdg-open when the call fails (no
// session bus, no FileManager1 service, dbus-send missing). One detached shell
// runs both so the fallback does not block the caller; the file's URI and the
// folder are passed as positional arguments, never spliced into the script.
static const char* SHOW_ITEMS_SCRIPT =
    "dbus-send --session --print-reply --reply-timeout=5000"
    " --dest=org.freedesktop.FileManager1 --type=method_call"
    " /org/freedesktop/FileManager1 org.freedesktop.FileManager1.ShowItems"
    " \"array:string:$1\" string: >/dev/null 2>&1"
    " || exec xdg-open \"$2\" >/dev/null 2>&1";

void ShowInFileManager(const QString& filePath) {
    QFileInfo info(filePath);
    QString uri = QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded);
    // dbus-send splits array items at commas.
    uri.replace(QLatin1Char(','), QLatin1String("%2C"));
    QProcess::startDetached(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), QString::fromLatin1(SHOW_ITEMS_SCRIPT),
                             QStringLiteral("vidloom-show"), uri, info.absolutePath()});
}

void OpenFolder(const QString& folder) {
    QProcess::startDetached(QStringLiteral("xdg-open"), {QFileInfo(folder).absoluteFilePath()});
}
