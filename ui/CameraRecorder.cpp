#include "ui/CameraRecorder.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QListView>
#include <QMessageBox>
#include <QSpacerItem>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AppPaths.h"
#include "app/ConfigFile.h"
#include "capture/AudioInputDevice.h"
#include "capture/CameraCapture.h"
#include "capture/EnumerateCameras.h"
#include "media/VideoFrameScaler.h"
#include "os/OS_Log.h"
#include "ui/DlgCamConfig.h"
#include "ui/FormParts.h"
#include "ui/GLWidget.h"
#include "ui/RecorderControls.h"
#include "ui/RecordingEvents.h"
#include "ui/PresentTask.h"
#include "ui/TextCodec.h"

namespace {

const char* REVERSE_KEY = "camera.reverse";

}  // namespace

CameraRecorder::CameraRecorder(QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), ui(), m_configDialog(nullptr), m_camera(nullptr), m_frameWidth(1),
      m_frameHeight(1), m_bitsPerPixel(0), m_compression(0), m_recording(false), m_starting(false),
      m_finishing(false), m_presenter(nullptr), m_reverse(0), m_controls(nullptr) {
    SetupUi();
    ui.cbxCamera->setView(new QListView(ui.cbxCamera));

    // The blinking stop button, F3/F4 and the sound list, which the
    // engine's worker reads.
    m_controls = new RecorderControls(this, ui.btnStart, ui.btnStop, ui.cbxUseMic,
                                      SOUND_MICROPHONE_AND_MIX + 1, tr("output/摄像头-"), &m_session);
    connect(m_controls->Events(), &RecordingEvents::evtSoundStarted, this, &CameraRecorder::OnSoundStarted);
    connect(m_controls->Events(), &RecordingEvents::evtRecordingFailed, this,
            &CameraRecorder::OnRecordingFailed);
    connect(m_controls->Events(), &RecordingEvents::evtCameraLost, this, &CameraRecorder::OnCameraLost);
    connect(m_controls->Events(), &RecordingEvents::evtFinished, this, &CameraRecorder::OnFinished);
    m_session.Init();

    ConfigFile config;
    if (config.Load(AppPaths::Global().ConfigPath().c_str(), ConfigFile::DEFAULT_CAPACITY)) {
        m_reverse = config.GetInt(REVERSE_KEY, 0) != 0 ? 1 : 0;
        config.Close();
    }
    m_session.SetReverse(m_reverse != 0);

    LoadCameras();

    // Connected only now: filling the lists above reaches no slot.
    connect(ui.btnStart, &QToolButton::clicked, this, &CameraRecorder::OnStartRecord);
    connect(ui.btnStop, &QToolButton::clicked, this, &CameraRecorder::OnStopRecord);
    connect(ui.cbxCamera, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CameraRecorder::OnCameraChanged);
    connect(ui.btnOpenFolder, &QToolButton::clicked, this, &CameraRecorder::OnOpenFolder);
    connect(ui.btnConfig, &QToolButton::clicked, this, &CameraRecorder::OnShowConfig);
    connect(ui.btnSettings, &QToolButton::clicked, m_controls, &RecorderControls::ShowSettings);
    connect(ui.cbxUseMic, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &CameraRecorder::OnAudioInputChanged);
    m_controls->ConnectKeys(this, &CameraRecorder::OnStartRecord, &CameraRecorder::OnStopRecord);

    // However the program ends (a signal too), a running recording is
    // finished first.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        OnStopRecord();
        StopCamera();
        m_session.Free();
    });
}

CameraRecorder::~CameraRecorder() {
    OnStopRecord();
    StopCamera();
    m_session.Free();
    delete m_configDialog;
}

void CameraRecorder::SetupUi() {
    setObjectName("CameraRecorder");
    setWindowTitle(tr("摄像头录像"));
    setWindowIcon(QIcon(":/image/icon/camera.png"));
    resize(483, 328);

    QVBoxLayout* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName("verticalLayout");
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(2, 2, 2, 2);

    // The preview: placed by FitVideo, not by a layout.
    ui.videoFrame = MakeFrame(this, "videoFrame", QFrame::NoFrame, QFrame::Raised);
    ui.videoFrame->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    verticalLayout->addWidget(ui.videoFrame);
    ui.videobox = new GLWidget(ui.videoFrame);
    ui.videobox->setObjectName("videobox");
    ui.videoFrame->installEventFilter(this);

    QHBoxLayout* horizontalLayout_3 = new QHBoxLayout();
    horizontalLayout_3->setObjectName("horizontalLayout_3");
    horizontalLayout_3->setSpacing(6);
    horizontalLayout_3->setContentsMargins(4, 2, 4, 2);
    verticalLayout->addLayout(horizontalLayout_3);

    // Start and stop.
    ui.frame_2 = MakeRecordButtons(this, tr("录制"), tr("开始录制(F3)"), tr("停止"), tr("结束录制(F4)"),
                                   &ui.btnStart, &ui.btnStop);
    horizontalLayout_3->addWidget(ui.frame_2);

    // Sound, camera, output folder and camera settings: fixed while recording.
    ui.grpSettings = MakeFrame(this, "grpSettings", QFrame::NoFrame, QFrame::Raised);
    QHBoxLayout* horizontalLayout = MakeRow(ui.grpSettings, "horizontalLayout", 10, 10, 2, 2, 2);
    ui.spliter = MakeFrame(ui.grpSettings, "spliter", QFrame::VLine, QFrame::Sunken);
    horizontalLayout->addWidget(ui.spliter);
    ui.cbxUseMic = new QComboBox(ui.grpSettings);
    ui.cbxUseMic->setObjectName("cbxUseMic");
    ui.cbxUseMic->setMinimumWidth(100);
    ui.cbxUseMic->setToolTip(tr("选择麦克风"));
    ui.cbxUseMic->addItem(tr("不使用麦克风"));
    ui.cbxUseMic->addItem(tr("默认麦克风"));
    ui.cbxUseMic->addItem(tr("默认麦克风+立体声"));
    horizontalLayout->addWidget(ui.cbxUseMic);
    ui.cbxCamera = new QComboBox(ui.grpSettings);
    ui.cbxCamera->setObjectName("cbxCamera");
    ui.cbxCamera->setToolTip(tr("选择摄像头"));
    horizontalLayout->addWidget(ui.cbxCamera);
    ui.line = MakeFrame(ui.grpSettings, "line", QFrame::VLine, QFrame::Sunken);
    horizontalLayout->addWidget(ui.line);
    ui.btnOpenFolder = MakeToolButton(ui.grpSettings, "btnOpenFolder", "...", tr("打开视频文件夹"));
    ui.btnOpenFolder->setMinimumHeight(32);
    ui.btnOpenFolder->setIcon(QIcon(":/image/icon/folder.png"));
    ui.btnOpenFolder->setIconSize(QSize(28, 28));
    horizontalLayout->addWidget(ui.btnOpenFolder);
    ui.btnConfig = MakeToolButton(ui.grpSettings, "btnConfig", tr("参数"), tr("设置摄像头参数"));
    ui.btnConfig->setMinimumHeight(32);
    ui.btnConfig->setIcon(QIcon(":/image/icon/settings.png"));
    ui.btnConfig->setIconSize(QSize(28, 28));
    horizontalLayout->addWidget(ui.btnConfig);
    ui.btnSettings = MakeToolButton(ui.grpSettings, "btnSettings", tr("录制"), tr("录制设置"));
    ui.btnSettings->setMinimumHeight(32);
    horizontalLayout->addWidget(ui.btnSettings);
    horizontalLayout_3->addWidget(ui.grpSettings);
    horizontalLayout_3->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
}

void CameraRecorder::LoadCameras() {
    m_cameras.clear();
    EnumerateCameras(m_cameras);
    for (int i = 0; i < (int)m_cameras.size(); ++i) {
        QString name = ToQString(m_cameras[i].FriendlyName);
        ui.cbxCamera->insertItem(i, name);
        ui.cbxCamera->setItemData(i, ToQString(m_cameras[i].DevicePath), Qt::UserRole);
        ui.cbxCamera->setItemData(i, name, Qt::ToolTipRole);
    }
    if (m_cameras.empty()) {
        QMessageBox::information(nullptr, tr("错误"), tr("系统中没有摄像头"), QMessageBox::Ok);
        QCoreApplication::exit(0);
        return;
    }
    int index = ui.cbxCamera->currentIndex();
    m_cameraPath = m_cameras[index < 0 ? 0 : index].DevicePath;
    StartCamera(m_cameraPath, 0, 0);
}

// A camera that cannot be opened leaves the window without pictures: no
// camera object, a 1 x 1 picture, recording refused; another camera can
// still be chosen.
int CameraRecorder::StartCamera(const std::string& path, int width, int height) {
    m_camera = new CameraCapture();
    if (m_camera->Open(path, &m_session, width, height) != 0) {
        delete m_camera;
        m_camera = nullptr;
        m_frameWidth = m_frameHeight = 1;
        m_bitsPerPixel = 0;
        m_compression = 0;
        OS_Log::Debug("camera picture : %dx%d, bpp=%d \n", m_frameWidth, m_frameHeight, m_bitsPerPixel);
        return 0;
    }
    m_frameWidth = m_camera->width;
    m_frameHeight = m_camera->height;
    m_bitsPerPixel = m_camera->bitCount;
    m_compression = m_camera->compression;
    OS_Log::Debug("camera picture : %dx%d, bpp=%d \n", m_frameWidth, m_frameHeight, m_bitsPerPixel);
    // The dialog works on the camera that runs now, never on a deleted one.
    if (m_configDialog)
        m_configDialog->SetCamera(m_camera);
    FitVideo(m_frameWidth, m_frameHeight);
    StartPreview();
    m_session.SetCamera(m_frameWidth, m_frameHeight, m_bitsPerPixel);
    m_camera->Start();
    return 0;
}

int CameraRecorder::StopCamera() {
    if (!m_camera)
        return 0;
    // The dialog lets go of the camera before it closes.
    if (m_configDialog)
        m_configDialog->SetCamera(nullptr);
    m_camera->Stop();
    m_camera->Close();
    delete m_camera;
    m_camera = nullptr;
    m_session.SetCamera(0, 0, 0);
    StopPreview();
    return 0;
}

int CameraRecorder::StartPreview() {
    int format = VideoFrameScaler::SourceFormat(m_compression, m_bitsPerPixel);
    if (format < 0) {
        OS_Log::Error("camera picture format not supported.!\n");
        return -1;
    }
    m_presenter = new PresentTask();
    if (m_presenter->Open(ui.videobox, m_frameWidth, m_frameHeight, format) < 0) {
        delete m_presenter;
        m_presenter = nullptr;
    }
    m_session.SetPreview(m_presenter);
    return 0;
}

int CameraRecorder::StopPreview() {
    m_session.SetPreview(nullptr);
    if (m_presenter) {
        m_presenter->Close();
        delete m_presenter;
        m_presenter = nullptr;
    }
    return 0;
}

QRect CameraRecorder::FitVideoRect(int frameWidth, int frameHeight, int width, int height) {
    if (frameWidth <= 0 || frameHeight <= 0 || width <= 0 || height <= 0)
        return QRect();
    // The aspects are single-precision; the products and quotients are
    // taken in double, so 400 / (1280 / 720) truncates to 224.
    float frameAspect = (float)frameWidth / (float)frameHeight;
    float videoAspect = (float)width / (float)height;
    int w, h;
    if (videoAspect < frameAspect) {
        h = frameHeight - 4;
        w = (int)((double)frameHeight * videoAspect);
    } else {
        w = frameWidth - 4;
        h = (int)((double)frameWidth / videoAspect);
    }
    QRect rect(0, 0, w, h);
    rect.moveCenter(QPoint(frameWidth / 2, frameHeight / 2));
    return rect;
}

void CameraRecorder::FitVideo(int width, int height) {
    QRect rect = FitVideoRect(ui.videoFrame->width(), ui.videoFrame->height(), width, height);
    if (rect.isValid())
        ui.videobox->setGeometry(rect);
}

void CameraRecorder::moveEvent(QMoveEvent* event) {
    FitVideo(m_frameWidth, m_frameHeight);
    QWidget::moveEvent(event);
}

void CameraRecorder::resizeEvent(QResizeEvent* event) {
    FitVideo(m_frameWidth, m_frameHeight);
    QWidget::resizeEvent(event);
}

bool CameraRecorder::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui.videoFrame && event->type() == QEvent::Resize)
        FitVideo(m_frameWidth, m_frameHeight);
    return QWidget::eventFilter(watched, event);
}

int CameraRecorder::OnStartRecord() {
    // A start under way shows message boxes, whose event loop must not let
    // F3 begin a second one; a file being finished takes no new start.
    if (m_recording || m_starting || m_finishing)
        return 0;
    if (m_cameras.empty() || !m_camera)
        return -1;
    m_starting = true;
    if (m_session.OpenPacker(m_controls->NewOutputFile(), m_frameWidth, m_frameHeight, m_bitsPerPixel,
                             m_compression) < 0) {
        OS_Log::Error("failed to start camera!\n");
        StopRecording();
        m_starting = false;
        return -1;
    }
    m_session.StartClock();
    // The sound starts on the engine's worker: busy until OnSoundStarted.
    if (!m_controls->StartSound(ui.cbxUseMic->currentIndex(), SOUND_MICROPHONE_AND_MIX))
        return Started();
    m_controls->SetBusy(true);
    return 0;
}

void CameraRecorder::OnSoundStarted(int result) {
    if (!m_starting)
        return;
    m_controls->SetBusy(false);
    if (result == RecordingListener::SOUND_FAILED) {
        QMessageBox::information(this, tr("错误"), tr("无法启动麦克风捕捉!"), QMessageBox::Ok);
        StopRecording();
        m_starting = false;
        return;
    }
    if (result == RecordingListener::SOUND_NO_MIX)
        m_controls->HintNoMix();
    Started();
}

int CameraRecorder::Started() {
    m_session.SetRecording(true);
    m_recording = true;
    m_starting = false;
    m_controls->ShowRecording(true, ui.grpSettings);
    return 0;
}

int CameraRecorder::OnStopRecord() {
    if (!m_recording)
        return 0;
    // Pictures stop at once; the camera and the preview keep running.
    m_recording = false;
    StopRecording();
    m_controls->ShowRecording(false, ui.grpSettings);
    return 0;
}

void CameraRecorder::StopRecording() {
    if (!m_session.Active())
        return;
    m_session.Stop();
    m_finishing = true;
    m_controls->SetBusy(true);
}

void CameraRecorder::OnFinished() {
    m_finishing = false;
    m_controls->SetBusy(false);
}

// The file could not be written or the camera went: the recording ends as
// F4 would.
void CameraRecorder::OnRecordingFailed(int cause, int error) {
    if (m_recording) {
        m_recording = false;
        m_finishing = true;
        m_controls->SetBusy(true);
        m_controls->ShowRecording(false, ui.grpSettings);
    }
    QMessageBox::information(this, tr("错误"), RecorderControls::FailureText(cause, error), QMessageBox::Ok);
}

// The preview shows the black start picture instead of the last one.
void CameraRecorder::OnCameraLost() { ui.videobox->ResetPicture(); }

int CameraRecorder::OnCameraChanged(int index) {
    if (index < 0 || index >= (int)m_cameras.size())
        return 0;
    StopCamera();
    m_cameraPath = m_cameras[index].DevicePath;
    StartCamera(m_cameraPath, 0, 0);
    return 0;
}

int CameraRecorder::OnReverseChecked(bool reversed) {
    m_reverse = reversed ? 1 : 0;
    m_session.SetReverse(reversed);
    ConfigFile config;
    if (config.Load(AppPaths::Global().ConfigPath().c_str(), ConfigFile::DEFAULT_CAPACITY)) {
        config.SetInt(REVERSE_KEY, m_reverse);
        config.Close();
    }
    return 0;
}

int CameraRecorder::OnOpenFolder() {
    m_controls->OpenOutputFolder();
    return 0;
}

int CameraRecorder::OnShowConfig() {
    if (!m_camera)
        return -1;
    if (!m_configDialog) {
        m_configDialog = new DlgCamConfig(m_camera, nullptr);
        m_configDialog->SetReversed(m_reverse != 0);
        connect(m_configDialog, &DlgCamConfig::evtReversed, this, &CameraRecorder::OnReverseChecked);
    }
    m_configDialog->show();
    return 0;
}

int CameraRecorder::OnAudioInputChanged(int index) {
    m_controls->CheckMixChoice(index, SOUND_MICROPHONE_AND_MIX);
    return 0;
}

void CameraRecorder::closeEvent(QCloseEvent* event) {
    OnStopRecord();
    StopCamera();
    QCoreApplication::exit(0);
    QWidget::closeEvent(event);
}
