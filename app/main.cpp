#include <QApplication>
#include <QMessageBox>
#include <unistd.h>

#include "app/DlgWorkMode.h"
#include "app/ExecutableFolder.h"
#include "app/QuitOnSignal.h"
#include "app/SingleInstance.h"
#include "media/MemPool.h"
#include "os/OS_Log.h"
#include "ui/TextCodec.h"

namespace {

int ForwardToDebugOutput(int, const char* text) {
    qDebug("%s", text);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Every relative name (settings, style sheet, sounds, output/) means the
    // program's own folder.
    if (chdir(ExecutableFolder().c_str()) != 0)
        perror("chdir");

    OS_Log& log = OS_Log::Global();
    if (log.Open("vidloom.log.txt") != 0)
        return 0;
    log.SetLevel(OS_Log::LEVEL_DEBUG);
    log.SetCallback(&ForwardToDebugOutput);
    OS_Log::Info("------------ * program start * -----------\n");

    MemPool::Frames().Init(MemPool::FRAME_BLOCK_SIZE, MemPool::FRAME_BLOCK_COUNT);

    // Screen coordinates are physical pixels everywhere: a region chosen on
    // a scaled display must record exactly that region.
    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InitTextCodec();

    if (AcquireSingleInstance("desktop.vr.lock") != 0) {
        QMessageBox::information(nullptr, QObject::tr("提示"), QObject::tr("另一个实例正在运行"),
                                 QMessageBox::Ok);
        return -1;
    }

    InstallQuitOnSignal();
    app.setStyleSheet(LoadStyleSheet("default.skin"));

    DlgWorkMode* workMode = new DlgWorkMode(nullptr);
    workMode->show();
    app.exec();
    delete workMode;
    return 0;
}
