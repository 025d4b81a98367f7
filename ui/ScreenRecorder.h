#pragma once

#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QSystemTrayIcon>
#include <atomic>
#include <string>

#include "capture/Recorder.h"
#include "capture/RecorderCallback.h"
#include "capture/ScreenCapListener.h"
#include "platform/WindowId.h"
#include "os/OS_Clock.h"
#include "ui/BaseDialog.h"

class AvPacker;
class GlobalShortcut;
class InfoWindow;
class QAction;
class QComboBox;
class QFrame;
class QMenu;
class QToolButton;
class RegionOutline;
class ScreenCapTask;
class WinCapTask;

// The window of screen mode: a frameless bar, a tray icon and the F3/F4 hot
// keys. For each recording it owns one capture task, one packer and at most
// one sound recorder, and passes their pictures and sound to the packer.
class ScreenRecorder : public BaseDialog, public RecorderCallback, public ScreenCapListener {
    Q_OBJECT

public:
    // Recording modes: index of cbxScreenMode.
    enum Mode { MODE_FULL_SCREEN = 0, MODE_WINDOW = 1, MODE_REGION = 2 };
    // Length of one output frame: 25 frames per second.
    static constexpr double FRAME_PERIOD_MS = 40.0;
    static constexpr int FRAMES_PER_SECOND = 25;
    // Sound: one block of 1024 stereo frames at 11025 Hz.
    static constexpr int AUDIO_FRAMES_PER_BLOCK = 1024;
    static constexpr int AUDIO_SAMPLE_RATE = 11025;
    static constexpr int AUDIO_CHANNELS = 2;
    // Period of the stop button's blinking.
    static constexpr int BLINK_MS = 500;

    explicit ScreenRecorder(QWidget* parent);
    ~ScreenRecorder() override;

    bool IsRecording() const { return m_recording; }

    // Capture thread: stamps the picture and hands it to the packer.
    int OnScreenFrame(MMPacket* packet) override;
    // Sound capture thread: copies the block and hands it to the packer.
    int OnAudioData(int tag, double time, const void* data, int size) override;

public slots:
    int OnStartRecord();
    int OnStopRecord();
    int OnCloseWindow();
    int OnScreenModeChanged();
    int OnCloseOutline();
    int OnChoose();
    int OnChooseWindow();
    int OnChooseRegion();
    int OnViewInfo();
    int OnOpenFolder();
    void OnTrayIconActivated(QSystemTrayIcon::ActivationReason reason);

protected:
    void timerEvent(QTimerEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SetupUi();
    void FillMicrophoneList();
    void CreateTrayIcon();
    int StartScreenCapture();
    int StartWindowCapture();
    int StartMicrophone();
    void StopMicrophone();
    void StopScreenCapture();
    void StopWindowCapture();
    void ClosePacker();
    std::string MakeOutputFileName() const;
    // A still picture of the whole primary screen, for the choosers.
    QPixmap GrabDesktop() const;
    void ShowError(const QString& text);

    // The widget set; object names are fixed because the style sheet
    // addresses them.
    struct Widgets {
        QAction* actionShowWindow;
        QAction* actionStartRecord;
        QAction* actionStopRecord;
        QAction* actionExit;
        QFrame* frame;
        QFrame* frame_2;
        QToolButton* btnStart;
        QToolButton* btnStop;
        QFrame* grpScreenMode;
        QFrame* spliter;
        QComboBox* cbxUseMic;
        QComboBox* cbxScreenMode;
        QToolButton* btnChooseWindow;
        QToolButton* btnView;
        QFrame* frame_4;
        QFrame* line;
        QToolButton* btnOpenFolder;
        QToolButton* btnCloseWindow;
    } ui;

    RegionOutline* m_outline;
    int m_mode;
    InfoWindow* m_infoWindow;
    QPixmap m_windowImage;
    GlobalShortcut* m_startKey;
    GlobalShortcut* m_stopKey;
    QSystemTrayIcon* m_trayIcon;
    QMenu* m_trayMenu;
    // Read by the capture and sound threads; set before they start and
    // cleared only after both were joined.
    AvPacker* m_packer;
    std::string m_lastFile;
    ScreenCapTask* m_screenTask;
    WindowId m_chosenWindow;
    QRect m_region;
    WinCapTask* m_windowTask;
    Recorder* m_micRecorder;
    int m_framesPerBlock;
    bool m_useMicrophone;
    double m_framePeriodMs;
    bool m_recording;
    // A start is under way: its message boxes run an event loop, in which a
    // second F3 must not start a second recording.
    bool m_starting;
    OS_Clock m_recordingClock;
    // Frame number of the last picture passed to the packer; capture thread
    // only (reset before it starts).
    int64_t m_lastFrameTimestamp;
    bool m_blinkOn;
    QIcon m_iconRecordingOn;
    QIcon m_iconRecordingOff;
    int m_blinkTimerId;
};
