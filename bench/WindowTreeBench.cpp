// Time to read the window tree just before the window chooser appears, with
// a busy desktop: 40 top-level windows holding 6 native controls each.
// Run under scripts/with-test-servers.sh.
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "capture/WindowTree.h"
#include "os/OS_Clock.h"
#include "tests/support/GuiTestApp.h"

int main() {
    if (!getenv("DISPLAY")) {
        fprintf(stderr, "no DISPLAY: run under scripts/with-test-servers.sh\n");
        return 1;
    }
    GuiTestApp();
    const int WINDOWS = 40, CONTROLS = 6, RUNS = 20;
    std::vector<QWidget*> windows;
    for (int i = 0; i < WINDOWS; ++i) {
        QWidget* window = new QWidget();
        window->setGeometry(20 * i, 15 * i, 500, 400);
        for (int c = 0; c < CONTROLS; ++c) {
            QWidget* control = new QWidget(window);
            control->setGeometry(10 + 60 * c, 10, 50, 30);
            control->setAttribute(Qt::WA_NativeWindow);
        }
        window->show();
        windows.push_back(window);
    }
    ProcessEventsFor(500);

    size_t nodes = 0;
    int64_t start = OS_NowMs();
    for (int run = 0; run < RUNS; ++run) {
        WinHandle root;
        BuildWindowTree(root);
        nodes = root.children.size();
    }
    double perBuild = double(OS_NowMs() - start) / RUNS;
    printf("BuildWindowTree: %zu top-level windows, %d controls each: %.1f ms per tree\n", nodes, CONTROLS,
           perBuild);
    for (QWidget* window : windows)
        delete window;
    return 0;
}
