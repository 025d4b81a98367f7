#include "ui/InfoWindow.h"

#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

InfoWindow::InfoWindow(QWidget* parent) : QWidget(parent), ui{} {
    SetupUi();
    setWindowFlags(Qt::Popup);
    setMaximumSize(MAX_WIDTH, MAX_HEIGHT);
}

void InfoWindow::SetupUi() {
    setObjectName("InfoWindow");
    resize(INITIAL_WIDTH, INITIAL_HEIGHT);
    setStyleSheet("background-color: rgb(83, 83, 83);");
    setWindowTitle(tr("InfoWindow"));

    ui.verticalLayout = new QVBoxLayout(this);
    ui.verticalLayout->setObjectName("verticalLayout");
    ui.verticalLayout->setSpacing(12);
    ui.verticalLayout->setContentsMargins(12, 12, 12, 12);

    ui.label_2 = new QLabel(this);
    ui.label_2->setObjectName("label_2");
    ui.label_2->setStyleSheet("color: rgb(255, 255, 255);");
    ui.label_2->setAlignment(Qt::AlignCenter);
    ui.label_2->setText(tr("查看录制窗口 (按ESC键关闭)"));
    ui.verticalLayout->addWidget(ui.label_2);

    ui.label = new QLabel(this);
    ui.label->setObjectName("label");
    ui.label->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    // A picture larger than the window must not grow the window past its
    // maximum size through the layout: it is cut, and its top-left part shows.
    ui.label->setMinimumSize(1, 1);
    ui.label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ui.label->setText(tr("图像显示"));
    ui.verticalLayout->addWidget(ui.label);
}

int InfoWindow::SetImage(const QPixmap& picture, WindowId) {
    ui.label->setPixmap(picture);
    return 0;
}
