#pragma once

#include <QWidget>

#include "platform/WindowSource.h"

class QLabel;
class QPixmap;
class QVBoxLayout;

// A popup showing the picture of the window chosen for recording, at its
// natural size: a larger picture shows only its top-left part. Escape or a
// click outside only hides it; it is shown again on the next view.
class InfoWindow : public QWidget {
    Q_OBJECT

public:
    static constexpr int INITIAL_WIDTH = 377;
    static constexpr int INITIAL_HEIGHT = 242;
    static constexpr int MAX_WIDTH = 400;
    static constexpr int MAX_HEIGHT = 300;

    explicit InfoWindow(QWidget* parent);

    // Shows picture in place of the label's text. window is not used.
    // Always 0.
    int SetImage(const QPixmap& picture, WindowId window);

private:
    void SetupUi();

    // The widget set; object names are fixed because the style sheet may
    // address them.
    struct Widgets {
        QVBoxLayout* verticalLayout;
        QLabel* label_2;
        QLabel* label;
    } ui;
};
