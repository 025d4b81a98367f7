#pragma once

#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QSystemTrayIcon>
#include <atomic>
#include <string>

#include "capture/RecorderCallback.h"
#include "capture/RecordingSession.h"
#include "capture/ScreenCapListener.h"
#include "platform/WindowId.h"
#include "ui/BaseDialog.h"

class GlobalShortcut;
class InfoWindow;
class QAction;
class QComboBox;
class QFrame;
class QMenu;
class QToolButton;
class RegionOutline;

// The window of screen mode: a frameless bar, a tray icon and the F3/F4 hot
// keys. Its recording session holds the capture task, the packer and the
// sound recorder of each recording; the window runs their steps in order
// and passes their pictures and sound on to the session.
class ScreenRecorder : public BaseDialog, public RecorderCallback, public ScreenCapListener {
    Q_OBJECT

public:
    // Recording modes: index of cbxScreenMode.
    enum Mode { MODE_FULL_SCREEN = 0, MODE_WINDOW = 1, MODE_REGION = 2 };
    // Period of the stop button's blinking.
    static constexpr int BLINK_MS = 500;
    // How often the bar looks whether the last file is finished.
    static constexpr int FINISH_POLL_MS = 50;

    explicit ScreenRecorder(QWidget* parent);
    ~ScreenRecorder() override;

    bool IsRecording() const { return m_recording; }

    // Capture thread: the session stamps the picture and pushes it.
    int OnScreenFrame(MMPacket* packet) override;
    // Sound capture thread: the session copies the block and pushes it.
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
    // Stops the sound, then the pictures, then finishes the file.
    void StopRecording();
    // The same, but the file is finished in the background (a backlog of
    // queued pictures and sound must not hold up the bar), which shows it
    // is busy and takes no new start until then.
    void StopRecordingInBackground();
    // Runs a chooser dialog; the hot keys and the tray do nothing meanwhile.
    int RunChooser(QDialog* chooser);
    // Message, undo, bar back; the start guard holds throughout.
    int FailStart(const QString& text);
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
    RecordingSession m_session;
    std::string m_lastFile;
    WindowId m_chosenWindow;
    QRect m_region;
    bool m_useMicrophone;
    bool m_recording;
    // A start is under way, until it has succeeded or been undone: its
    // message boxes run an event loop, in which F3 or the tray must not
    // start a second recording.
    bool m_starting;
    // A chooser is open: a recording started now would film it.
    bool m_choosing;
    bool m_blinkOn;
    QIcon m_iconRecordingOn;
    QIcon m_iconRecordingOff;
    int m_blinkTimerId;
    int m_finishTimerId;  // non-zero while the last file is being finished
};
