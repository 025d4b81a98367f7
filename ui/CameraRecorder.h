#pragma once

#include <QIcon>
#include <QRect>
#include <QWidget>
#include <atomic>
#include <string>
#include <vector>

#include "capture/CameraCallback.h"
#include "capture/CameraInfo.h"
#include "capture/RecorderCallback.h"
#include "capture/RecordingSession.h"

class CameraCapture;
class DlgCamConfig;
class GLWidget;
class GlobalShortcut;
class PresentTask;
class QComboBox;
class QFrame;
class QToolButton;

// The window of camera mode: the running camera shown live, recorded with no
// sound, the microphone, or the microphone mixed with the stereo mix. The
// camera and its preview run from the window's start to its end; each
// recording is a RecordingSession step list (packer, clock, sound). F3/F4
// start and stop from anywhere. Closing the window ends the program.
class CameraRecorder : public QWidget, public CameraCallback, public RecorderCallback {
    Q_OBJECT

public:
    // Sound choices: the fixed items of cbxUseMic; devices follow.
    enum SoundChoice { SOUND_NONE = 0, SOUND_MICROPHONE = 1, SOUND_MICROPHONE_AND_MIX = 2 };
    // Period of the stop button's blinking.
    static constexpr int BLINK_MS = 500;
    // After clearing the recording flag: a picture that already passed the
    // test finishes its push before the sound stops and the file closes.
    static constexpr unsigned STOP_WAIT_MS = 100;

    explicit CameraRecorder(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~CameraRecorder() override;

    // False when the system lists no camera: the window told the user and
    // asked the application to exit; it is not to be shown.
    bool HasCameras() const { return !m_cameras.empty(); }
    bool IsRecording() const { return m_recording; }

    // Where the preview goes in a videoFrame of frameWidth x frameHeight for
    // a picture of width x height: 4 pixels short of the frame in the
    // direction that fills it, the picture's aspect in the other, centred.
    static QRect FitVideoRect(int frameWidth, int frameHeight, int width, int height);

    // Camera thread: flips the picture when asked, hands a copy to the
    // preview and, while recording, one to the file.
    int OnCameraFrame(double time, unsigned char* data, long size) override;
    // Sound thread: the session copies the block (through the mixer while
    // two sources run) and pushes it.
    int OnAudioData(int tag, double time, const void* data, int size) override;

public slots:
    int OnStartRecord();
    int OnStopRecord();
    int OnCameraChanged(int index);
    int OnReverseChecked(bool reversed);
    int OnOpenFolder();
    int OnShowConfig();
    int OnAudioInputChanged(int index);

protected:
    void timerEvent(QTimerEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The preview area changes size with the row below it, too.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetupUi();
    void FillSoundList();
    void LoadCameras();
    int StartCamera(const std::string& path, int width, int height);
    int StopCamera();
    int StartPreview();
    int StopPreview();
    void FitVideo(int width, int height);
    int StartMicrophone();
    int StartMicrophoneAndMix();
    int StopAudio();
    std::string MakeOutputFileName() const;
    // The stereo mix and microphone the system has; either may be empty
    // (an empty micGuid is the default device).
    void FindSoundSources(std::string& mixGuid, std::string& micGuid) const;

    // The widget set; object names are fixed because the style sheet
    // addresses them.
    struct Widgets {
        QFrame* videoFrame;
        GLWidget* videobox;
        QFrame* frame_2;
        QToolButton* btnStart;
        QToolButton* btnStop;
        QFrame* grpSettings;
        QFrame* spliter;
        QComboBox* cbxUseMic;
        QComboBox* cbxCamera;
        QFrame* line;
        QToolButton* btnOpenFolder;
        QToolButton* btnConfig;
    } ui;

    DlgCamConfig* m_configDialog;  // made on first use; follows the running camera
    std::vector<CameraInfo> m_cameras;
    CameraCapture* m_camera;       // the running camera, or none
    std::string m_cameraPath;
    // The running camera's picture. Written on the GUI thread while the
    // camera is stopped, read by the camera thread.
    int32_t m_frameWidth;
    int32_t m_frameHeight;
    int32_t m_bitsPerPixel;
    uint32_t m_compression;
    bool m_recording;
    // A start is under way: its message boxes run an event loop in which
    // F3 must not begin a second recording.
    bool m_starting;
    std::string m_lastFile;
    bool m_useAudio;
    PresentTask* m_presenter;      // changed only while the camera is stopped
    std::atomic<int> m_reverse;    // 0 or 1; the camera thread reads it per picture
    bool m_blinkOn;
    QIcon m_iconOn;
    QIcon m_iconOff;
    int m_blinkTimer;
    GlobalShortcut* m_hotKeyStart;
    GlobalShortcut* m_hotKeyStop;
    // The recording: packer, clock, frame numbering, sound and mixing.
    RecordingSession m_session;
};
