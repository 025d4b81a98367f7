#include <QApplication>
#include <QMessageBox>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/DlgWorkMode.h"
#include "app/ExecutableFolder.h"
#include "app/ProgramLog.h"
#include "app/QuitOnSignal.h"
#include "app/SingleInstance.h"
#include "media/MemPool.h"
#include "os/OS_Log.h"
#include "ui/TextCodec.h"

int main(int argc, char* argv[]) {
    // Every relative name (settings, style sheet, sounds, output/) means the
    // program's own folder.
    int chdirError = chdir(ExecutableFolder().c_str()) != 0 ? errno : 0;

    if (OpenProgramLog("vidloom.log.txt") != 0)
        return 0;
    if (chdirError != 0)
        OS_Log::Error("cannot enter the program's folder: %s\n", strerror(chdirError));
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
