#include "ui/ScreenRecorder.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AppPaths.h"
#include "app/ConfigFile.h"
#include "capture/PortalCapTask.h"
#include "capture/ScreenSize.h"
#include "capture/WinHandle.h"
#include "capture/WindowTree.h"
#include "os/OS_Log.h"
#include "platform/portal/ScreenCastPortal.h"
#include "ui/BarPlacement.h"
#include "ui/FormParts.h"
#include "ui/InfoWindow.h"
#include "ui/RecorderControls.h"
#include "ui/RecordingEvents.h"
#include "ui/RegionOutline.h"
#include "ui/RegionSelector.h"
#include "ui/TextCodec.h"
#include "ui/WindowSelector.h"

namespace {

// The portal's newest restore token: a grant is asked for once, and each
// start hands out a new token that replaces the used one. One for window
// mode, one for the monitor: the desktop restores no grant of the other
// kind, so one token would ask again at every change of mode.
const char* PortalTokenKey(bool window) { return window ? "portal.token.window" : "portal.token"; }

}  // namespace

ScreenRecorder::ScreenRecorder(CapturePath path, QWidget* parent)
    : BaseDialog("bg.png", parent), ui(), m_outline(nullptr), m_mode(MODE_FULL_SCREEN),
      m_infoWindow(nullptr), m_trayIcon(nullptr), m_trayMenu(nullptr), m_path(path),
      m_portal(nullptr), m_controls(nullptr), m_chosenWindow(0), m_barMoved(false), m_useMicrophone(false), m_recording(false), m_starting(false), m_choosing(false), m_finishing(false) {
    SetupUi();

    // Drop-down lists the style sheet can style.
    ui.cbxUseMic->setView(new QListView(ui.cbxUseMic));
    ui.cbxScreenMode->setView(new QListView(ui.cbxScreenMode));
    // Record what the default microphone hears unless the user says not to.
    ui.cbxUseMic->setCurrentIndex(1);

    // The blinking stop button, F3/F4 and the sound list, which the
    // engine's worker reads.
    m_controls = new RecorderControls(this, ui.btnStart, ui.btnStop, ui.cbxUseMic, SOUND_MICROPHONE_AND_MIX + 1,
                                      tr("output/屏幕录像-"), &m_session);
    connect(ui.cbxUseMic, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            [this](int index) { m_controls->CheckMixChoice(index, SOUND_MICROPHONE_AND_MIX); });
    connect(m_controls->Events(), &RecordingEvents::evtSoundStarted, this, &ScreenRecorder::OnSoundStarted);
    connect(m_controls->Events(), &RecordingEvents::evtCaptureOpened, this,
            &ScreenRecorder::OnPortalCaptureOpened);
    connect(m_controls->Events(), &RecordingEvents::evtRecordingFailed, this,
            &ScreenRecorder::OnRecordingFailed);
    connect(m_controls->Events(), &RecordingEvents::evtFinished, this, &ScreenRecorder::OnFinished);
    m_session.Init();

    connect(ui.btnStart, &QToolButton::clicked, this, &ScreenRecorder::OnStartRecord);
    connect(ui.btnStop, &QToolButton::clicked, this, &ScreenRecorder::OnStopRecord);
    connect(ui.btnCloseWindow, &QToolButton::clicked, this, &ScreenRecorder::OnCloseWindow);
    connect(ui.btnChooseWindow, &QToolButton::clicked, this, &ScreenRecorder::OnChoose);
    connect(ui.cbxScreenMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &ScreenRecorder::OnScreenModeChanged);
    connect(ui.btnView, &QToolButton::clicked, this, &ScreenRecorder::OnViewInfo);
    connect(ui.btnOpenFolder, &QToolButton::clicked, this, &ScreenRecorder::OnOpenFolder);
    connect(ui.btnSettings, &QToolButton::clicked, m_controls, &RecorderControls::ShowSettings);
    connect(ui.actionSettings, &QAction::triggered, m_controls, &RecorderControls::ShowSettings);
    m_controls->ConnectKeys(this, &ScreenRecorder::OnStartRecord, &ScreenRecorder::OnStopRecord);

    connect(ui.actionShowWindow, &QAction::triggered, this, &ScreenRecorder::showNormal);
    connect(ui.actionStartRecord, &QAction::triggered, this, &ScreenRecorder::OnStartRecord);
    connect(ui.actionStopRecord, &QAction::triggered, this, &ScreenRecorder::OnStopRecord);
    connect(ui.actionExit, &QAction::triggered, this, &ScreenRecorder::OnCloseWindow);

    CreateTrayIcon();
    // The windows stay on the X protocol (XWayland on a Wayland desktop):
    // only the pictures change their path.
    OS_Log::Info("screen capture path: %s\n", CapturePathName(m_path));

    // However the program ends, a running recording is finished first.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { m_session.Free(); });
}

ScreenRecorder::~ScreenRecorder() {
    m_session.Free();
    delete m_outline;
    delete m_infoWindow;
}

void ScreenRecorder::SetupUi() {
    setObjectName("ScreenRecorder");
    setWindowTitle(tr("桌面录像"));
    setWindowIcon(QIcon(":/image/screen.png"));
    // wide enough for the settings button at the end, the rest where it was
    resize(549 + 32 + 6, 59);

    ui.actionShowWindow = new QAction(tr("显示窗口"), this);
    ui.actionShowWindow->setObjectName("actionShowWindow");
    ui.actionSettings = new QAction(tr("录制设置..."), this);
    ui.actionSettings->setObjectName("actionSettings");
    ui.actionStartRecord = new QAction(tr("开始录制 (F3)"), this);
    ui.actionStartRecord->setObjectName("actionStartRecord");
    ui.actionStartRecord->setToolTip(tr("开始录制 (F3)"));
    ui.actionStopRecord = new QAction(tr("停止录制 (F4)"), this);
    ui.actionStopRecord->setObjectName("actionStopRecord");
    ui.actionStopRecord->setToolTip(tr("停止录制 (F4)"));
    ui.actionExit = new QAction(tr("退出"), this);
    ui.actionExit->setObjectName("actionExit");

    QVBoxLayout* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName("verticalLayout");
    verticalLayout->setSpacing(0);
    verticalLayout->setContentsMargins(2, 2, 2, 2);

    ui.frame = MakeFrame(this, "frame", QFrame::NoFrame, QFrame::Raised);
    ui.frame->setMinimumHeight(50);
    ui.frame->setLineWidth(4);
    ui.frame->setMidLineWidth(3);
    ui.frame->setWhatsThis("toolbar");
    verticalLayout->addWidget(ui.frame);
    QHBoxLayout* horizontalLayout_5 = MakeRow(ui.frame, "horizontalLayout_5", 0, 9, 9, 9, 9);

    // Start and stop.
    ui.frame_2 = MakeRecordButtons(ui.frame, tr("录制"), tr("开始录制(F3)"), tr("停止"), tr("结束录制(F4)"),
                                   &ui.btnStart, &ui.btnStop);
    horizontalLayout_5->addWidget(ui.frame_2);

    // What to record, and with which sound.
    ui.grpScreenMode = MakeFrame(ui.frame, "grpScreenMode", QFrame::NoFrame, QFrame::Raised);
    QHBoxLayout* horizontalLayout = MakeRow(ui.grpScreenMode, "horizontalLayout", 10, 10, 2, 2, 2);
    ui.spliter = MakeFrame(ui.grpScreenMode, "spliter", QFrame::VLine, QFrame::Sunken);
    horizontalLayout->addWidget(ui.spliter);
    ui.cbxUseMic = new QComboBox(ui.grpScreenMode);
    ui.cbxUseMic->setObjectName("cbxUseMic");
    ui.cbxUseMic->setToolTip(tr("使用/停用麦克风"));
    ui.cbxUseMic->setFixedWidth(110);
    ui.cbxUseMic->addItem(tr("不使用麦克风"));
    ui.cbxUseMic->addItem(tr("默认麦克风"));
    ui.cbxUseMic->addItem(tr("默认麦克风+立体声"));
    horizontalLayout->addWidget(ui.cbxUseMic);
    ui.cbxScreenMode = new QComboBox(ui.grpScreenMode);
    ui.cbxScreenMode->setObjectName("cbxScreenMode");
    ui.cbxScreenMode->setToolTip(tr("屏幕录制模式"));
    ui.cbxScreenMode->setMinimumWidth(70);
    ui.cbxScreenMode->addItem(tr("全屏"));
    ui.cbxScreenMode->addItem(tr("窗口"));
    ui.cbxScreenMode->addItem(tr("区域"));
    horizontalLayout->addWidget(ui.cbxScreenMode);
    ui.btnChooseWindow = MakeToolButton(ui.grpScreenMode, "btnChooseWindow", tr("选择"),
                                        tr("选择窗口或区域"));
    ui.btnChooseWindow->setMinimumSize(32, 32);
    horizontalLayout->addWidget(ui.btnChooseWindow);
    ui.btnView = MakeToolButton(ui.grpScreenMode, "btnView", tr("查看"), tr("窗口或区域信息"));
    ui.btnView->setMinimumHeight(32);
    horizontalLayout->addWidget(ui.btnView);
    horizontalLayout_5->addWidget(ui.grpScreenMode);

    horizontalLayout_5->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));

    // Output folder and exit.
    ui.frame_4 = MakeFrame(ui.frame, "frame_4", QFrame::NoFrame, QFrame::Raised);
    QHBoxLayout* horizontalLayout_4 = MakeRow(ui.frame_4, "horizontalLayout_4", 6, 6, 2, 2, 2);
    ui.line = MakeFrame(ui.frame_4, "line", QFrame::VLine, QFrame::Sunken);
    horizontalLayout_4->addWidget(ui.line);
    ui.btnOpenFolder = MakeToolButton(ui.frame_4, "btnOpenFolder", tr("打开"), tr("打开视频文件夹"));
    ui.btnOpenFolder->setMinimumHeight(32);
    horizontalLayout_4->addWidget(ui.btnOpenFolder);
    ui.btnCloseWindow = MakeToolButton(ui.frame_4, "btnCloseWindow", tr("退出"), tr("退出程序"));
    ui.btnCloseWindow->setMinimumHeight(32);
    ui.btnCloseWindow->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    horizontalLayout_4->addWidget(ui.btnCloseWindow);
    ui.btnSettings = MakeToolButton(ui.frame_4, "btnSettings", "", tr("录制设置"));
    ui.btnSettings->setFixedSize(32, 32);
    ui.btnSettings->setIcon(QIcon(":/image/icon/settings.png"));
    horizontalLayout_4->addWidget(ui.btnSettings);
    horizontalLayout_5->addWidget(ui.frame_4);
}

void ScreenRecorder::CreateTrayIcon() {
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(ui.actionShowWindow);
    m_trayMenu->addAction(ui.actionStartRecord);
    m_trayMenu->addAction(ui.actionStopRecord);
    m_trayMenu->addAction(ui.actionSettings);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(ui.actionExit);

    m_trayIcon = new QSystemTrayIcon(this);
    m_trayIcon->setContextMenu(m_trayMenu);
    m_trayIcon->setIcon(QIcon(":/image/icon/screen.png"));
    m_trayIcon->setToolTip(ToQString(ToGbString(tr("屏幕录制程序"))));
    connect(m_trayIcon, &QSystemTrayIcon::activated, this, &ScreenRecorder::OnTrayIconActivated);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        OS_Log::Warning("no system tray: the tray icon will not show\n");
    m_controls->SetTray(m_trayIcon);
    m_trayIcon->show();
}

void ScreenRecorder::ShowError(const QString& text) {
    QMessageBox::information(this, tr("错误"), text, QMessageBox::Ok);
}

QString ScreenRecorder::PortalFailureText(const ScreenCastPortal& portal) const {
    if (portal.outcome() == ScreenCastPortal::OUTCOME_REFUSED)
        return tr("桌面拒绝了屏幕共享。");
    switch (portal.missing()) {
    case ScreenCastPortal::MISSING_BUS:
        return tr("Wayland 桌面录像需要桌面的 D-Bus 会话总线，但没有找到。");
    case ScreenCastPortal::MISSING_PORTAL:
        return tr("Wayland 桌面录像需要桌面的屏幕共享门户（xdg-desktop-portal 及本桌面的后端，"
                  "如 xdg-desktop-portal-gnome 或 xdg-desktop-portal-kde），但它不可用。");
    case ScreenCastPortal::MISSING_PIPEWIRE:
        return tr("屏幕共享门户没有提供 PipeWire 连接：PipeWire 是否在运行？");
    default:
        return tr("屏幕共享门户出错，详情见日志。");
    }
}

int ScreenRecorder::OnStartRecord() {
    if (m_recording || m_starting || m_choosing || m_finishing)
        return 0;
    m_starting = true;
    OS_Log::Info("recording: screen capture through %s\n", CapturePathName(m_path));
    // The portal asks the user first; the bar stays shown while recording
    // there, since F3/F4 reach it only while it has the focus and GNOME
    // shows no tray: it is the way to stop.
    if (m_path == CAPTURE_PORTAL) {
        // no region chosen yet: nothing to record, as on X11
        if (m_mode == MODE_REGION && (m_region.width() <= 0 || m_region.height() <= 0))
            return FailStart(tr("无法启动桌面捕捉!"));
        return AskPortal();
    }
    hide();
    m_session.StartClock();

    int rc = m_mode == MODE_WINDOW ? StartWindowCapture() : StartScreenCapture();
    if (rc < 0)
        return FailStart(tr("无法启动桌面捕捉!"));
    return StartSound();
}

int ScreenRecorder::StartSound() {
    // The sound starts on the engine's worker: busy until OnSoundStarted.
    m_useMicrophone = ui.cbxUseMic->currentIndex() != 0;
    if (!m_useMicrophone)
        return Started();
    m_controls->SetBusy(true);
    m_controls->StartSound(ui.cbxUseMic->currentIndex(), SOUND_MICROPHONE_AND_MIX);
    return 0;
}

void ScreenRecorder::OnSoundStarted(int result) {
    if (!m_starting)
        return;
    m_controls->SetBusy(false);
    if (result == RecordingListener::SOUND_FAILED) {
        FailStart(tr("无法启动麦克风捕捉!"));
        return;
    }
    if (result == RecordingListener::SOUND_NO_MIX)
        m_controls->HintNoMix();
    Started();
}

int ScreenRecorder::Started() {
    m_session.SetRecording(true);
    m_recording = true;
    m_starting = false;
    m_controls->ShowRecording(true, ui.grpScreenMode);
    if (m_path == CAPTURE_PORTAL)
        MoveBarOffRecording();
    return 0;
}

void ScreenRecorder::MoveBarOffRecording() {
    // a window's stream holds only that window
    QRect recorded = m_regionOnDesktop;
    if (m_mode == MODE_FULL_SCREEN && m_portal && m_portal->StreamWidth() > 0)
        recorded = QRect(m_portal->StreamX(), m_portal->StreamY(), m_portal->StreamWidth(), m_portal->StreamHeight());
    else if (m_mode != MODE_REGION)
        return;
    QList<QRect> screens;
    for (QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    QPoint at = BarPlacement::OffRecording(frameGeometry(), recorded, screens);
    if (at == frameGeometry().topLeft())
        return;
    m_barHome = pos();
    m_barMoved = true;
    move(at);
    OS_Log::Info("recording: the bar moved off the recorded picture, to %d,%d\n", at.x(), at.y());
}

int ScreenRecorder::FailStart(const QString& text) {
    ShowError(text);
    StopRecording();
    ClosePortal();
    m_starting = false;
    // Without a tray (many desktops have none) a hidden bar could not be
    // brought back.
    showNormal();
    activateWindow();
    return -1;
}

int ScreenRecorder::StartScreenCapture() {
    if (m_mode == MODE_FULL_SCREEN) {
        int x = 0, y = 0, width = 0, height = 0;
        GetScreenRect(&x, &y, &width, &height);
        m_region = QRect(x, y, width, height);
    }
    // No region chosen yet: nothing to record.
    if (m_region.width() <= 0 || m_region.height() <= 0)
        return -1;
    if (m_session.OpenScreen(m_region.left(), m_region.top(), m_region.width(), m_region.height()) < 0) {
        OS_Log::Error("failed to open Screen Capture Task !\n");
        return -1;
    }
    if (OpenFile(m_session.SourceWidth(), m_session.SourceHeight()) < 0)
        return -1;
    return m_session.StartCapture();
}

int ScreenRecorder::OpenFile(int width, int height) {
    if (m_session.OpenPacker(m_controls->NewOutputFile(), width, height, m_session.SourceBitsPerPixel(), 0) < 0) {
        OS_Log::Error("failed to open AvPacker!\n");
        return -1;
    }
    return 0;
}

int ScreenRecorder::AskPortal() {
    ClosePortal();
    m_portal = new ScreenCastPortal(this);
    connect(m_portal, &ScreenCastPortal::evtStarted, this, &ScreenRecorder::OnPortalStarted);
    connect(m_portal, &ScreenCastPortal::evtClosed, this, &ScreenRecorder::OnPortalClosed);
    auto type = m_mode == MODE_WINDOW ? ScreenCastPortal::SOURCE_WINDOW : ScreenCastPortal::SOURCE_MONITOR;
    m_portal->SetRestoreToken(LoadPortalToken(type == ScreenCastPortal::SOURCE_WINDOW));
    // a handshake that cannot begin reports through OnPortalStarted at once
    if (m_portal->Open(type) != 0 || !m_portal)
        return -1;
    // the D-Bus handshake and the user's answer come through the event loop
    m_controls->SetBusy(true);
    return 0;
}

void ScreenRecorder::OnPortalStarted(int outcome) {
    if (!m_starting || !m_portal)
        return;
    m_controls->SetBusy(false);
    SavePortalToken(m_portal->Type() == ScreenCastPortal::SOURCE_WINDOW, m_portal->RestoreToken());
    if (outcome == ScreenCastPortal::OUTCOME_CANCELLED) {
        OS_Log::Info("recording: the user cancelled the screen sharing\n");
        ClosePortal();
        m_starting = false;
        showNormal();
        activateWindow();
        return;
    }
    if (outcome != ScreenCastPortal::OUTCOME_STARTED) {
        OS_Log::Error("recording: the portal did not start: %s\n", m_portal->ErrorText().c_str());
        FailStart(PortalFailureText(*m_portal));
        return;
    }
    if (StartPortalCapture() < 0)
        FailStart(tr("无法启动桌面捕捉!"));
}

int ScreenRecorder::StartPortalCapture() {
    // a region is cut from the stream, in its pixels; the stream's format
    // and first picture come on the engine's worker: busy until then
    QRect cut = m_mode == MODE_REGION ? m_region : QRect();
    if (m_session.OpenPortal(m_portal->PipeWireFd(), m_portal->NodeId(), cut.left(), cut.top(), cut.width(),
                             cut.height()) < 0)
        return -1;
    m_controls->SetBusy(true);
    return 0;
}

void ScreenRecorder::OnPortalCaptureOpened(int result) {
    if (!m_starting)
        return;
    m_controls->SetBusy(false);
    if (result < 0)
        OS_Log::Error("failed to open the portal's stream!\n");
    if (result < 0 || StartPortalRecording() < 0) {
        FailStart(tr("无法启动桌面捕捉!"));
        return;
    }
    StartSound();
}

int ScreenRecorder::StartPortalRecording() {
    // the clock starts once the stream runs: waiting for its first picture
    // must not leave the file's first periods empty
    m_session.StartClock();
    if (OpenFile(m_session.SourceWidth(), m_session.SourceHeight()) < 0)
        return -1;
    return m_session.StartCapture();
}

// The desktop's own "stop sharing": the recording ends as F4 would.
void ScreenRecorder::OnPortalClosed() {
    if (!m_recording)
        return;
    OS_Log::Info("recording: the desktop ended the screen sharing\n");
    StopRecording();
    ShowStopped();
    ShowError(RecorderControls::FailureText(RecordingListener::CAUSE_CAPTURE, 0));
}

std::string ScreenRecorder::LoadPortalToken(bool window) const {
    ConfigFile config;
    std::string token;
    if (config.Load(AppPaths::Global().ConfigPath().c_str(), ConfigFile::DEFAULT_CAPACITY))
        config.GetString(PortalTokenKey(window), token);
    return token;
}

void ScreenRecorder::SavePortalToken(bool window, const std::string& token) const {
    ConfigFile config;
    if (!token.empty() && config.Load(AppPaths::Global().ConfigPath().c_str(), ConfigFile::DEFAULT_CAPACITY))
        config.SetString(PortalTokenKey(window), token.c_str());
}

void ScreenRecorder::ClosePortal() {
    if (m_portal) {
        m_portal->Close();
        m_portal->deleteLater();  // may be in its own signal
        m_portal = nullptr;
    }
}

int ScreenRecorder::StartWindowCapture() {
    if (m_chosenWindow == 0)
        return -1;
    if (m_session.OpenWindow(m_chosenWindow) < 0) {
        OS_Log::Error("failed to open Screen Capture Task !\n");
        return -1;
    }
    int width = m_session.SourceWidth();
    int height = m_session.SourceHeight();
    // A window of no area gives nothing to record.
    if (width <= 0 || height <= 0)
        return -1;

    if (OpenFile(width, height) < 0)
        return -1;
    OS_Log::Info("Window capture : (%dx%d) \n", width, height);
    return m_session.StartCapture();
}

int ScreenRecorder::OnStopRecord() {
    // A start in progress finishes or undoes itself; a chooser is open.
    if (m_starting || m_choosing)
        return 0;
    StopRecording();
    ShowStopped();
    return 0;
}

void ScreenRecorder::ShowStopped() {
    m_recording = false;
    m_controls->ShowRecording(false, ui.grpScreenMode);
    if (m_barMoved)
        move(m_barHome);
    m_barMoved = false;
    showNormal();
    activateWindow();
}

void ScreenRecorder::StopRecording() {
    if (!m_session.Active())
        return;
    m_session.Stop();
    m_finishing = true;
    m_controls->SetBusy(true);
}

void ScreenRecorder::OnFinished() {
    m_finishing = false;
    if (!m_starting)
        ClosePortal();
    m_controls->SetBusy(false);
}

// The file could not be written: the recording ends as F4 would.
void ScreenRecorder::OnRecordingFailed(int cause, int error) {
    if (m_recording) {
        m_finishing = true;
        m_controls->SetBusy(true);
        ShowStopped();
    }
    ShowError(RecorderControls::FailureText(cause, error));
}

int ScreenRecorder::OnOpenFolder() {
    m_controls->OpenOutputFolder();
    return 0;
}

int ScreenRecorder::OnScreenModeChanged() {
    m_mode = ui.cbxScreenMode->currentIndex();
    if (m_mode == MODE_FULL_SCREEN) {
        OnCloseOutline();
    } else if (m_mode == MODE_WINDOW) {
        OnCloseOutline();
        OnChooseWindow();
    } else if (m_mode == MODE_REGION) {
        OnChooseRegion();
    }
    return 0;
}

int ScreenRecorder::OnChoose() {
    if (m_mode == MODE_WINDOW)
        return OnChooseWindow();
    if (m_mode == MODE_REGION)
        return OnChooseRegion();
    return 0;
}

int ScreenRecorder::OnCloseOutline() {
    if (m_outline) {
        m_outline->close();
        delete m_outline;
        m_outline = nullptr;
    }
    return 0;
}

// A chooser left with Escape keeps the previous choice, which the outline
// still shows.
int ScreenRecorder::RunChooser(QDialog* chooser) {
    m_choosing = true;
    int result = chooser->exec();
    m_choosing = false;
    return result;
}

int ScreenRecorder::OnChooseWindow() {
    // through the portal the desktop's own picker chooses the window, at
    // the start
    if (m_choosing || m_recording || m_path == CAPTURE_PORTAL)
        return 0;
    QPixmap desktop = GrabDesktop();
    WinHandle root;
    BuildWindowTree(root);
    WindowSelector* selector = new WindowSelector(&desktop, &root, this);
    if (RunChooser(selector) == QDialog::Accepted) {
        m_chosenWindow = selector->chosenWindow();
        QScreen* screen = QGuiApplication::primaryScreen();
        m_windowImage = screen ? screen->grabWindow(m_chosenWindow) : QPixmap();
    }
    delete selector;
    return 0;
}

int ScreenRecorder::OnChooseRegion() {
    if (m_choosing || m_recording)
        return 0;
    bool portal = m_path == CAPTURE_PORTAL;
    QPixmap desktop = portal ? GrabStream() : GrabDesktop();
    if (desktop.isNull() && portal)
        return 0;
    RegionSelector* selector = new RegionSelector(&desktop, this);
    if (RunChooser(selector) == QDialog::Accepted) {
        m_region = selector->selection();
        if (portal) {
            m_regionOnDesktop = m_region;
            // The chooser covers the monitor in the desktop's pixels, the
            // stream may have others (a scale factor). No outline: a
            // Wayland client cannot place a window over the desktop.
            QSize shown = selector->size();
            if (shown.width() > 0 && shown.height() > 0 && shown != desktop.size()) {
                double sx = (double)desktop.width() / shown.width(), sy = (double)desktop.height() / shown.height();
                m_region = QRect(qRound(m_region.x() * sx), qRound(m_region.y() * sy),
                                 qRound(m_region.width() * sx), qRound(m_region.height() * sy));
            }
            OS_Log::Info("region in stream pixels: %d,%d %dx%d\n", m_region.x(), m_region.y(), m_region.width(),
                         m_region.height());
        } else {
            if (!m_outline)
                m_outline = new RegionOutline(nullptr);
            m_outline->SetRegion(m_region.left(), m_region.top(), m_region.right(), m_region.bottom());
        }
        showNormal();
    }
    delete selector;
    return 0;
}

QPixmap ScreenRecorder::GrabStream() {
    m_choosing = true;  // the handshake's event loop takes no F3
    ScreenCastPortal portal;
    portal.SetRestoreToken(LoadPortalToken(false));
    ScreenCastPortal::Outcome outcome = ScreenCastPortal::OUTCOME_FAILED;
    if (portal.Open(ScreenCastPortal::SOURCE_MONITOR) == 0)
        outcome = portal.WaitForStart(120000);
    SavePortalToken(false, portal.RestoreToken());
    QImage still;
    if (outcome == ScreenCastPortal::OUTCOME_STARTED) {
        PortalCapTask task;
        if (task.Open(portal.PipeWireFd(), portal.NodeId(), 0, 0, 0, 0) == 0) {
            still = QImage(task.width(), task.height(), QImage::Format_RGB32);
            if (task.GrabStill(still.bits(), task.frameSize()) != 0)
                still.fill(Qt::black);  // a still desktop sent nothing yet
        }
        task.Stop();
    }
    portal.Close();
    m_choosing = false;
    if (outcome != ScreenCastPortal::OUTCOME_STARTED && outcome != ScreenCastPortal::OUTCOME_CANCELLED)
        ShowError(PortalFailureText(portal));
    return QPixmap::fromImage(still);
}

// The choosers cover the primary monitor: its part of the desktop.
QPixmap ScreenRecorder::GrabDesktop() const {
    QScreen* screen = QGuiApplication::primaryScreen();
    int x = 0, y = 0, width = 0, height = 0;
    GetScreenRect(&x, &y, &width, &height);
    return screen ? screen->grabWindow(0, x, y, width, height) : QPixmap();
}

int ScreenRecorder::OnViewInfo() {
    if (m_mode != MODE_WINDOW || m_chosenWindow == 0)
        return 0;
    if (!m_infoWindow)
        m_infoWindow = new InfoWindow(nullptr);
    m_infoWindow->SetImage(m_windowImage, m_chosenWindow);
    m_infoWindow->show();
    int x = 0, y = 0, width = 0, height = 0;
    GetScreenRect(&x, &y, &width, &height);
    QRect geometry = m_infoWindow->geometry();
    geometry.moveCenter(QPoint(x + width / 2, y + height / 2));
    m_infoWindow->setGeometry(geometry);
    return 0;
}

int ScreenRecorder::OnCloseWindow() {
    OnStopRecord();
    close();
    m_trayIcon->hide();
    QCoreApplication::exit(0);
    return 0;
}

void ScreenRecorder::OnTrayIconActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
        showNormal();
}

void ScreenRecorder::closeEvent(QCloseEvent* event) {
    if (m_recording)
        OnStopRecord();
    if (m_outline)
        m_outline->close();  // kept: the next region choice shows it again
    BaseDialog::closeEvent(event);
}

void ScreenRecorder::showEvent(QShowEvent* event) {
    BaseDialog::showEvent(event);
}

void ScreenRecorder::hideEvent(QHideEvent* event) {
    BaseDialog::hideEvent(event);
    if (isMinimized())
        qDebug("minimized.");
}
