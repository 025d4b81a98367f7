#include "ui/RecorderControls.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QSystemTrayIcon>
#include <QMessageBox>
#include <QToolButton>
#include <QWidget>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "app/AppPaths.h"
#include "app/RecordingSettings.h"
#include "capture/AudioInputDevice.h"
#include "capture/RecordingSession.h"
#include "ui/DlgSettings.h"
#include "ui/FileManager.h"
#include "ui/OutputFileName.h"
#include "ui/RecordingEvents.h"
#include "ui/TextCodec.h"

RecorderControls::RecorderControls(QWidget* window, QToolButton* btnStart, QToolButton* btnStop,
                                   QComboBox* cbxUseMic, int fixedItems, const QString& filePrefix,
                                   RecordingSession* session)
    : QObject(window), m_window(window), m_btnStart(btnStart), m_btnStop(btnStop), m_cbxUseMic(cbxUseMic),
      m_fixedItems(fixedItems), m_filePrefix(filePrefix), m_session(session),
      m_events(new RecordingEvents(this)), m_startKey(QKeySequence("F3")), m_stopKey(QKeySequence("F4")),
      m_blinkOn(false), m_iconOn(":/image/icon/recording_on.png"),
      m_iconOff(":/image/icon/recording_off.png"), m_settings(nullptr), m_tray(nullptr) {
    m_btnStop->setIcon(m_iconOff);
    m_btnStop->hide();
    connect(&m_blinkTimer, &QTimer::timeout, this, &RecorderControls::OnBlink);
    connect(m_events, &RecordingEvents::evtSoundSilent, this, &RecorderControls::OnSoundSilent);
    m_blinkTimer.start(BLINK_MS);
    connect(m_events, &RecordingEvents::evtSoundDevices, this, &RecorderControls::OnSoundDevices);
    m_session->SetListener(m_events);
}

void RecorderControls::OnBlink() {
    m_btnStop->setIcon(m_blinkOn ? m_iconOn : m_iconOff);
    m_blinkOn = !m_blinkOn;
    if (!m_tray || m_btnStop->isHidden())
        return;
    // how long and how large: a recording that stalls shows at a glance
    qint64 seconds = m_recordingSince.elapsed() / 1000;
    double megabytes = QFileInfo(ToQString(m_lastFile)).size() / 1048576.0;
    m_tray->setToolTip(tr("正在录制 %1:%2:%3, %4 MB")
                           .arg(seconds / 3600, 2, 10, QChar('0'))
                           .arg(seconds / 60 % 60, 2, 10, QChar('0'))
                           .arg(seconds % 60, 2, 10, QChar('0'))
                           .arg(megabytes, 0, 'f', 1));
}

void RecorderControls::OnSoundSilent() {
    // A short notice that does not hold the recording up.
    QMessageBox* notice = new QMessageBox(QMessageBox::Information, tr("提示"),
                                          tr("\"%1\"在录制的前 5 秒只有静音，请检查声音设备。录制继续进行。")
                                              .arg(m_cbxUseMic->currentText()),
                                          QMessageBox::Ok, m_window);
    notice->setObjectName("msgSoundSilent");
    notice->setAttribute(Qt::WA_DeleteOnClose);
    notice->setModal(false);
    notice->show();
}

void RecorderControls::OnSoundDevices() {
    while (m_cbxUseMic->count() > m_fixedItems)
        m_cbxUseMic->removeItem(m_cbxUseMic->count() - 1);
    for (const AudioInputDevice& device : m_events->SoundDevices())
        m_cbxUseMic->addItem(ToQString(device.name), ToQString(device.guid));
}

bool RecorderControls::StartSound(int index, int mixIndex) {
    if (index <= 0)
        return false;
    if (index == mixIndex) {
        m_session->StartSound(RecordingSession::SOUND_MICROPHONE_AND_MIX, std::string());
        return true;
    }
    // the fixed items but the first are the default device
    std::string device;
    if (index >= m_fixedItems)
        device = ToGbString(m_cbxUseMic->itemData(index, Qt::UserRole).toString());
    m_session->StartSound(RecordingSession::SOUND_DEVICE, device);
    return true;
}

void RecorderControls::CheckMixChoice(int index, int mixIndex) {
    if (index != mixIndex)
        return;
    // the list the window shows
    std::string mixGuid, micGuid;
    FindMixAndMicDevices(m_events->SoundDevices(), mixGuid, micGuid);
    if (mixGuid.empty()) {
        QMessageBox::information(m_window, tr("提示"),
                                 tr("系统中没有发现\"立体声混音设备\",可能是声卡驱动安装不正确!"), QMessageBox::Ok);
        m_cbxUseMic->setCurrentIndex(mixIndex - 1);
    } else if (micGuid.empty()) {
        QMessageBox::information(m_window, tr("提示"),
                                 tr("系统中没有发现\"麦克风设备\",可能是声卡驱动安装不正确!"), QMessageBox::Ok);
        m_cbxUseMic->setCurrentIndex(mixIndex - 1);
    }
}

void RecorderControls::HintNoMix() {
    // The recording goes on with pictures only.
    QMessageBox::information(m_window, tr("提示"), tr("系统中没有发现\"立体声混音\",可能是声卡驱动安装不正确!"),
                             QMessageBox::Ok);
}

std::string RecorderControls::NewOutputFile() {
    RecordingSettings settings;
    settings.Load(AppPaths::Global().ConfigPath().c_str());
    m_session->SetFormat(settings.codec, settings.fps, settings.sampleRate);
    std::string name = ::MakeOutputFileName(ToGbString(m_filePrefix), time(nullptr));
    if (settings.outputFolder.empty()) {
        m_lastFile = AppPaths::Global().OutputPath(name);
    } else {
        QDir().mkpath(ToQString(settings.outputFolder));
        size_t slash = name.rfind('/');
        std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
        m_lastFile = ToGbString(QDir(ToQString(settings.outputFolder)).filePath(ToQString(base)));
    }
    return m_lastFile;
}

void RecorderControls::OpenOutputFolder() const {
    if (!m_lastFile.empty())
        ShowInFileManager(QDir::current().absoluteFilePath(ToQString(m_lastFile)));
    else
        OpenFolder(ToQString(AppPaths::Global().OutputFolder()));
}

void RecorderControls::ShowSettings() {
    if (!m_settings)
        m_settings = new DlgSettings(m_window);
    m_settings->Reload();
    m_settings->show();
    m_settings->raise();
    m_settings->activateWindow();
}

void RecorderControls::SetBusy(bool busy) {
    m_btnStart->setEnabled(!busy);
    if (busy)
        m_window->setCursor(Qt::BusyCursor);
    else
        m_window->unsetCursor();
}

void RecorderControls::ShowRecording(bool recording, QWidget* settings) {
    settings->setEnabled(!recording);
    if (m_tray && recording) {
        m_idleToolTip = m_tray->toolTip();
        m_recordingSince.start();
    } else if (m_tray && !m_btnStop->isHidden()) {
        m_tray->setToolTip(m_idleToolTip);
    }
    m_btnStart->setVisible(!recording);
    m_btnStop->setVisible(recording);
}

QString RecorderControls::FailureText(int cause, int error) {
    if (cause == RecordingListener::CAUSE_CAMERA)
        return tr("摄像头已断开，录制已停止!");
    if (cause == RecordingListener::CAUSE_CAPTURE)
        return tr("桌面已停止共享屏幕，录制已停止!");
    if (cause == RecordingListener::CAUSE_DISK_LOW)
        return tr("磁盘空间不足，录制已停止!");
    QString reason;
    if (error == ENOSPC || error == EDQUOT)
        reason = tr("磁盘已满");
    else if (error == ENODEV || error == ENXIO || error == ENOENT || error == ESTALE)
        reason = tr("磁盘已移除");
    else if (error == EROFS)
        reason = tr("磁盘只读");
    else if (error == EIO || error == 0)
        reason = tr("读写错误");
    else
        reason = QString::fromLocal8Bit(strerror(error));
    return tr("无法写入视频文件 (%1)，录制已停止!").arg(reason);
}
