#include "app/DlgWorkMode.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/FramePoolWarmer.h"
#include "ui/CameraRecorder.h"
#include "ui/ScreenRecorder.h"

DlgWorkMode::DlgWorkMode(QWidget* parent)
    : QWidget(parent), frame(nullptr), chScreen(nullptr), chCamera(nullptr), btnEnter(nullptr),
      label(nullptr), m_launched(false) {
    SetupUi();
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
    connect(btnEnter, &QPushButton::clicked, this, &DlgWorkMode::OnEnter);
}

void DlgWorkMode::SetupUi() {
    setObjectName("DlgWorkMode");
    setWindowTitle("Quorvex");
    resize(402, 145);
    setFixedSize(402, 145);

    frame = new QFrame(this);
    frame->setObjectName("frame");
    frame->setGeometry(10, 10, 381, 71);

    chScreen = new QRadioButton(tr("桌面录像"), frame);
    chScreen->setObjectName("chScreen");
    chScreen->setGeometry(10, 10, 361, 22);
    chScreen->setChecked(true);

    chCamera = new QRadioButton(tr("摄像头录像"), frame);
    chCamera->setObjectName("chCamera");
    chCamera->setGeometry(10, 40, 361, 22);

    btnEnter = new QPushButton(tr("进入"), this);
    btnEnter->setObjectName("btnEnter");
    btnEnter->setGeometry(30, 90, 100, 30);
    btnEnter->setDefault(true);

    label = new QLabel("Build 2014-07-16", this);
    label->setObjectName("label");
    label->setGeometry(260, 120, 141, 20);
    label->setFont(QFont("Courier", 10));
    label->setStyleSheet("color: rgb(0, 170, 255);");
}

void DlgWorkMode::Enter(bool screen) {
    chScreen->setChecked(screen);
    chCamera->setChecked(!screen);
    OnEnter();
}

int DlgWorkMode::OnEnter() {
    if (chScreen->isChecked()) {
        // the recording's memory made off this thread while the bar comes up
        CapturePath path = ChooseCapturePath();
        FramePoolWarmer::Begin(path);
        ScreenRecorder* recorder = new ScreenRecorder(path, nullptr);
        recorder->show();
        m_launched = true;
    }
    if (chCamera->isChecked()) {
        CameraRecorder* recorder = new CameraRecorder(nullptr);
        // Without a camera it has told the user and asked the program to end.
        if (recorder->HasCameras())
            recorder->show();
        else
            recorder->deleteLater();
        m_launched = true;
    }
    close();
    return 0;
}

void DlgWorkMode::closeEvent(QCloseEvent* event) {
    if (!m_launched)
        QCoreApplication::exit(0);
    QWidget::closeEvent(event);
}
