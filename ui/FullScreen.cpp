#include "ui/FullScreen.h"

#include <QWidget>

#include "capture/ScreenSize.h"

void ShowFullScreenOnPrimary(QWidget* window) {
    int x = 0, y = 0, width = 0, height = 0;
    GetScreenRect(&x, &y, &width, &height);
    if (width > 0 && height > 0)
        window->setGeometry(x, y, width, height);
    window->showFullScreen();
}
