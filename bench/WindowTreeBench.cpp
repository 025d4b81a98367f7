// Time to read the window tree just before the window chooser appears, on a
// busy desktop: 300 top-level windows, each holding 2 native controls.
// Run under scripts/with-test-servers.sh.
#include <QApplication>
#include <QWidget>
#include <algorithm>
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
    const int WINDOWS = 300, CONTROLS = 2, RUNS = 10;
    std::vector<QWidget*> windows;
    for (int i = 0; i < WINDOWS; ++i) {
        QWidget* window = new QWidget();
        window->setWindowTitle(QString("window %1").arg(i));
        window->setGeometry(5 * (i % 200), 3 * (i % 300), 500, 400);
        for (int c = 0; c < CONTROLS; ++c) {
            QWidget* control = new QWidget(window);
            control->setGeometry(10 + 60 * c, 10, 50, 30);
            control->setAttribute(Qt::WA_NativeWindow);
        }
        window->show();
        windows.push_back(window);
    }
    ProcessEventsFor(1000);

    size_t nodes = 0;
    std::vector<int64_t> times;
    for (int run = 0; run < RUNS; ++run) {
        int64_t start = OS_NowMs();
        WinHandle root;
        BuildWindowTree(root);
        times.push_back(OS_NowMs() - start);
        nodes = root.children.size();
    }
    std::sort(times.begin(), times.end());
    printf("BuildWindowTree: %zu top-level windows, %d controls each: median %lld ms, worst %lld ms (%d runs)\n",
           nodes, CONTROLS, (long long)times[RUNS / 2], (long long)times.back(), RUNS);
    for (QWidget* window : windows)
        delete window;
    return 0;
}
