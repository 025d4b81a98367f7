#include "ui/FullScreen.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

void ShowFullScreenOnPrimary(QWidget* window) {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen)
        window->setGeometry(screen->geometry());
    window->showFullScreen();
}
