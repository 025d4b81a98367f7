#include <QApplication>
#include <QMessageBox>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "app/AppPaths.h"
#include "app/CommandServer.h"
#include "app/DlgWorkMode.h"
#include "app/ExecutableFolder.h"
#include "app/FramePoolWarmer.h"
#include "app/ProgramLog.h"
#include "app/QuitOnSignal.h"
#include "app/SingleInstance.h"
#include "app/Translation.h"
#include "capture/ScreenSize.h"
#include "media/AvPacker.h"
#include "media/MemPool.h"
#include "media/RecordingFormat.h"
#include "os/OS_Log.h"
#include "os/OS_Memory.h"
#include "ui/TextCodec.h"

namespace {

const char* const USAGE =
    "Usage: vidloom [--screen | --camera] [--start | --stop | --toggle] [--version] [--help]\n"
    "Records the screen, a region or a window with sound into MP4 files.\n"
    "F3 starts a recording, F4 stops it.\n"
    "\n"
    "  --screen   open screen recording directly\n"
    "  --camera   open camera recording directly\n"
    "  --start    start recording in the running copy (as F3 does)\n"
    "  --stop     stop recording in the running copy (as F4 does)\n"
    "  --toggle   start or stop recording in the running copy\n"
    "  --version  print the version and exit\n"
    "  --help     print this help and exit\n"
    "\n"
    "--start, --stop and --toggle are meant for the desktop's keyboard shortcuts; they exit\n"
    "with status 0 when done, 1 when no copy runs or the recording could not start.\n";

// The key of the single-instance guard; the command socket is named after it.
const char* const INSTANCE_KEY = "desktop.vr.lock";

enum StartMode { START_CHOOSE, START_SCREEN, START_CAMERA };

// --version, --help and the commands for the running copy answer on the
// console, with no display needed. -1 when the program is to start as
// usual; *mode says which window then opens.
int AnswerCommandLine(int argc, char* argv[], StartMode* mode) {
    *mode = START_CHOOSE;
    for (int i = 1; i < argc; ++i) {
        const char* command = strcmp(argv[i], "--start") == 0    ? "start"
                              : strcmp(argv[i], "--stop") == 0   ? "stop"
                              : strcmp(argv[i], "--toggle") == 0 ? "toggle"
                                                                 : nullptr;
        if (command) {
            QCoreApplication app(argc, argv);
            return SendCommand(INSTANCE_KEY, command);
        }
        if (strcmp(argv[i], "--screen") == 0)
            *mode = START_SCREEN;
        if (strcmp(argv[i], "--camera") == 0)
            *mode = START_CAMERA;
        if (strcmp(argv[i], "--version") == 0) {
            printf("vidloom %s\n", VIDLOOM_VERSION);
            return 0;
        }
        if (strcmp(argv[i], "--help") == 0 || strcmp(argv[i], "-h") == 0) {
            fputs(USAGE, stdout);
            return 0;
        }
    }
    return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
    StartMode mode;
    int answered = AnswerCommandLine(argc, argv, &mode);
    if (answered >= 0)
        return answered;
    // 2 MB pages pay where the video encoder is made ahead of a recording
    // (at 3840 x 2160 some 0.5 CPU-s less per recording); elsewhere loading
    // the libraries a second time would cost more (0.1 CPU-s). The screen
    // is asked only when a restart could happen at all.
    if (OS_LargePagesWantRestart()) {
        int screenWidth = 0, screenHeight = 0;
        GetScreenSize(&screenWidth, &screenHeight);
        if (AvPacker::Prepares(RecordingFormat::CODEC_MPEG4, screenWidth, screenHeight,
                               RecordingFormat::FRAMES_PER_SECOND))
            OS_RestartWithLargePages(argv);
    }

    // Beside the executable, or in the user's folders when installed.
    AppPaths& paths = AppPaths::Global();
    int pathsReady = paths.Init(ExecutableFolder());
    int chdirError = chdir(ExecutableFolder().c_str()) != 0 ? errno : 0;

    if (OpenProgramLog(paths.LogPath().c_str()) != 0)
        return 0;
    if (chdirError != 0)
        OS_Log::Error("cannot enter the program's folder: %s\n", strerror(chdirError));
    OS_Log::Info("------------ * program start * -----------\n");
    if (pathsReady != 0)
        OS_Log::Error("cannot prepare the settings in %s\n", paths.ConfigPath().c_str());

    MemPool::Frames().Init(MemPool::FRAME_BLOCK_SIZE, MemPool::FRAME_BLOCK_COUNT);

    // Screen coordinates are physical pixels everywhere: a region chosen on
    // a scaled display must record exactly that region.
    QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
    // Plain raster windows: otherwise every window picks its visual through
    // GLX, which loads the OpenGL driver (software rendering included, some
    // 50 MB) at the first window. Only the camera preview draws with
    // OpenGL, and it loads the driver when it is made.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InitTextCodec();
    InstallTranslation();

    if (AcquireSingleInstance(INSTANCE_KEY) != 0) {
        QMessageBox::information(nullptr, QCoreApplication::translate("main", "提示"),
                                 QCoreApplication::translate("main", "另一个实例正在运行"),
                                 QMessageBox::Ok);
        return -1;
    }

    // the commands of desktop shortcuts; recording works without them
    CommandServer commands;
    commands.Open(INSTANCE_KEY);

    InstallQuitOnSignal();
    app.setStyleSheet(LoadStyleSheet(paths.DataPath("default.skin").c_str()));

    DlgWorkMode* workMode = new DlgWorkMode(nullptr);
    if (mode == START_CHOOSE)
        workMode->show();
    else
        workMode->Enter(mode == START_SCREEN);
    app.exec();
    FramePoolWarmer::End();
    commands.Close();
    delete workMode;
    return 0;
}
