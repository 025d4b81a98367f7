#pragma once

#include <QElapsedTimer>
#include <QIcon>
#include <QObject>
#include <QString>
#include <QTimer>
#include <string>

#include "ui/GlobalShortcut.h"

class DlgSettings;
class QComboBox;
class QSystemTrayIcon;
class QToolButton;
class QWidget;
class RecordingEvents;
class RecordingSession;

// What both recorder windows do alike around their recording engine: the
// F3/F4 hot keys, the blinking stop button, the sound list, the busy state
// while sound starts or a file is finished, the output file's name and
// folder, and the texts of a failed recording. It owns the engine's event
// object. GUI thread.
class RecorderControls : public QObject {
    Q_OBJECT
public:
    // Period of the stop button's blinking.
    static constexpr int BLINK_MS = 500;

    // window: shows the busy cursor; cbxUseMic: gets one item per sound
    // device after its fixedItems; filePrefix: the output name's start
    // (translated text, "output/..."). Binds the session's listener.
    RecorderControls(QWidget* window, QToolButton* btnStart, QToolButton* btnStop, QComboBox* cbxUseMic,
                     int fixedItems, const QString& filePrefix, RecordingSession* session);

    RecordingEvents* Events() const { return m_events; }

    // F3 to start, F4 to stop.
    template <class Window>
    void ConnectKeys(Window* window, int (Window::*start)(), int (Window::*stop)()) {
        connect(&m_startKey, &GlobalShortcut::activated, window, start);
        connect(&m_stopKey, &GlobalShortcut::activated, window, stop);
    }

    // Asks the engine to start the sound the list shows (index): none, the
    // default device, a listed device, or (mixIndex) microphone and stereo
    // mix. false when there is nothing to start.
    bool StartSound(int index, int mixIndex);
    // The list was set to index: when that is mixIndex (microphone and
    // stereo mix) and the device list lacks either, says so and goes back
    // to the default microphone (the item before it).
    void CheckMixChoice(int index, int mixIndex);
    // The hint of a recording that goes on without the stereo mix.
    void HintNoMix();
    // The output file of a recording starting now; it becomes the last file.
    // Reads the recording settings first: their format goes to the engine
    // and their folder takes the file, so a change applies from here on.
    std::string NewOutputFile();
    // The file manager on the last file, or on the output folder.
    void OpenOutputFolder() const;
    // The recording settings dialog, made on first use.
    void ShowSettings();
    // While recording, the tray icon's tooltip tells the time recorded and
    // the file's size. Not owned.
    void SetTray(QSystemTrayIcon* tray) { m_tray = tray; }
    // Busy: busy cursor, start button disabled.
    void SetBusy(bool busy);
    // The buttons of a recording (stop shown) or not (start shown); settings
    // are disabled while recording.
    void ShowRecording(bool recording, QWidget* settings);
    // The message of a recording that ended by itself.
    static QString FailureText(int cause, int error);

private slots:
    void OnBlink();
    void OnSoundDevices();
    // Tells that the chosen sound source gave only silence so far.
    void OnSoundSilent();

private:
    QWidget* m_window;
    QToolButton* m_btnStart;
    QToolButton* m_btnStop;
    QComboBox* m_cbxUseMic;
    int m_fixedItems;
    QString m_filePrefix;
    RecordingSession* m_session;
    RecordingEvents* m_events;  // child
    GlobalShortcut m_startKey;
    GlobalShortcut m_stopKey;
    QTimer m_blinkTimer;
    bool m_blinkOn;
    QIcon m_iconOn;
    QIcon m_iconOff;
    std::string m_lastFile;
    DlgSettings* m_settings;  // child of the window; null until shown
    QSystemTrayIcon* m_tray;
    QString m_idleToolTip;
    QElapsedTimer m_recordingSince;
};
