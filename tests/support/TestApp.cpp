#include "tests/support/TestApp.h"

#include <QApplication>

namespace {
int g_argc = 1;
char g_arg0[] = "vidloom-test";
char* g_argv[] = {g_arg0, nullptr};
}  // namespace

QApplication* TestApplication(const char* platform) {
    static QApplication* app = nullptr;
    if (!app) {
        qputenv("QT_QPA_PLATFORM", platform);
        // Physical pixels, as the program runs.
        QCoreApplication::setAttribute(Qt::AA_DisableHighDpiScaling);
        app = new QApplication(g_argc, g_argv);
    }
    return app;
}
