#pragma once

#include <QPixmap>
#include <QRect>
#include <QSystemTrayIcon>
#include <string>

#include "capture/CapturePath.h"
#include "capture/RecordingSession.h"
#include "platform/WindowId.h"
#include "ui/BaseDialog.h"

class InfoWindow;
class QAction;
class QComboBox;
class QFrame;
class QMenu;
class QToolButton;
class RecorderControls;
class RegionOutline;
class ScreenCastPortal;

// The window of screen mode: a frameless bar, a tray icon and the F3/F4 hot
// keys. Its recording engine holds the capture task, the packer and the
// sound recorder of each recording; the window runs their steps in order
// and hears back through queued signals.
class ScreenRecorder : public BaseDialog {
    Q_OBJECT

public:
    // Recording modes: index of cbxScreenMode.
    enum Mode { MODE_FULL_SCREEN = 0, MODE_WINDOW = 1, MODE_REGION = 2 };
    // The sound list's item that mixes the default microphone with the
    // stereo mix, as in the camera window.
    static constexpr int SOUND_MICROPHONE_AND_MIX = 2;

    // path: X11 or the desktop's portal, chosen by the caller
    ScreenRecorder(CapturePath path, QWidget* parent);
    ~ScreenRecorder() override;

    bool IsRecording() const { return m_recording; }
    // A start is under way (the portal's dialog, the sound on the engine's
    // worker).
    bool IsStarting() const { return m_starting; }

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
    // The engine's events: the sound of a start, a recording that failed,
    // the last file finished.
    void OnSoundStarted(int result);
    void OnRecordingFailed(int cause, int error);
    void OnFinished();
    // The portal's handshake ended (a ScreenCastPortal::Outcome); the
    // desktop ended its sharing.
    void OnPortalStarted(int outcome);
    void OnPortalClosed();
    // The engine opened the portal's stream (0) or could not (-1).
    void OnPortalCaptureOpened(int result);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void SetupUi();
    void CreateTrayIcon();
    int StartScreenCapture();
    int StartWindowCapture();
    // The file named after the start, for pictures of this size.
    int OpenFile(int width, int height);
    // Asks the portal for the screen or a window; the start goes on in
    // OnPortalStarted. 0, or -1 when the portal cannot be asked.
    int AskPortal();
    // Asks the engine for the portal's stream; the start goes on in
    // OnPortalCaptureOpened. 0, or -1 when it cannot be asked.
    int StartPortalCapture();
    // The stream is open: the clock, the file, the capture thread.
    int StartPortalRecording();
    // Through the portal the bar stays shown while recording: off the
    // recorded rectangle where there is room.
    void MoveBarOffRecording();
    // Ends the portal's session (the desktop's sharing indicator goes).
    void ClosePortal();
    // Sound, when chosen; the start ends in Started or FailStart.
    int StartSound();
    // The start succeeded: the bar shows a recording.
    int Started();
    // The engine stops the sound, then the pictures, then finishes the file
    // in the background (a backlog of queued pictures and sound must not
    // hold up the bar), which shows it is busy and takes no new start until
    // then.
    void StopRecording();
    // The bar of a stopped recording, shown again.
    void ShowStopped();
    // Runs a chooser dialog; the hot keys and the tray do nothing meanwhile.
    int RunChooser(QDialog* chooser);
    // Message, undo, bar back; the start guard holds throughout.
    int FailStart(const QString& text);
    // A still picture of the whole primary screen, for the choosers.
    QPixmap GrabDesktop() const;
    // The same from the portal's stream (asking the user when there is no
    // grant yet), in stream pixels; null when it cannot be had.
    QPixmap GrabStream();
    // The restore token kept in the settings for a window's grant or a
    // monitor's, and the newest one kept.
    std::string LoadPortalToken(bool window) const;
    void SavePortalToken(bool window, const std::string& token) const;
    void ShowError(const QString& text);
    // The message for a portal that did not start: what was missing, or
    // that the desktop refused.
    QString PortalFailureText(const ScreenCastPortal& portal) const;

    // The widget set; object names are fixed because the style sheet
    // addresses them.
    struct Widgets {
        QAction* actionShowWindow;
        QAction* actionSettings;
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
        QToolButton* btnSettings;
        QToolButton* btnCloseWindow;
    } ui;

    RegionOutline* m_outline;
    int m_mode;
    InfoWindow* m_infoWindow;
    QPixmap m_windowImage;
    QSystemTrayIcon* m_trayIcon;
    QMenu* m_trayMenu;
    RecordingSession m_session;
    // Screen mode's pictures come from the X server or the portal (for the
    // whole program's life); the portal's session lives from a start to the
    // end of its recording.
    CapturePath m_path;
    ScreenCastPortal* m_portal;
    RecorderControls* m_controls;  // child
    WindowId m_chosenWindow;
    QRect m_region;
    // Through the portal: the region on the desktop (m_region is in the
    // stream's pixels), and where the bar was before a recording moved it.
    QRect m_regionOnDesktop;
    QPoint m_barHome;
    bool m_barMoved;
    bool m_useMicrophone;
    bool m_recording;
    // A start is under way, until it has succeeded or been undone: its
    // message boxes run an event loop, in which F3 or the tray must not
    // start a second recording.
    bool m_starting;
    // A chooser is open: a recording started now would film it.
    bool m_choosing;
    // The last file is being finished: no new start until then.
    bool m_finishing;
};
