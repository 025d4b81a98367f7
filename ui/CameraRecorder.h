#pragma once

#include <QRect>
#include <QWidget>
#include <string>
#include <vector>

#include "capture/CameraInfo.h"
#include "capture/RecordingSession.h"

class CameraCapture;
class DlgCamConfig;
class GLWidget;
class PresentTask;
class QComboBox;
class QFrame;
class QToolButton;
class RecorderControls;

// The window of camera mode: the running camera shown live, recorded with no
// sound, the microphone, or the microphone mixed with the stereo mix. The
// camera and its preview run from the window's start to its end and deliver
// to the recording engine, which flips, previews and records the pictures;
// each recording is the engine's step list (packer, clock, sound). F3/F4
// start and stop from anywhere. Closing the window ends the program.
class CameraRecorder : public QWidget {
    Q_OBJECT

public:
    // Sound choices: the fixed items of cbxUseMic; devices follow.
    enum SoundChoice { SOUND_NONE = 0, SOUND_MICROPHONE = 1, SOUND_MICROPHONE_AND_MIX = 2 };

    explicit CameraRecorder(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());
    ~CameraRecorder() override;

    // False when the system lists no camera: the window told the user and
    // asked the application to exit; it is not to be shown.
    bool HasCameras() const { return !m_cameras.empty(); }
    bool IsRecording() const { return m_recording; }
    // A start is under way: the sound opens on the engine's worker.
    bool IsStarting() const { return m_starting; }

    // Where the preview goes in a videoFrame of frameWidth x frameHeight for
    // a picture of width x height: 4 pixels short of the frame in the
    // direction that fills it, the picture's aspect in the other, centred.
    static QRect FitVideoRect(int frameWidth, int frameHeight, int width, int height);


public slots:
    int OnStartRecord();
    int OnStopRecord();
    int OnCameraChanged(int index);
    int OnReverseChecked(bool reversed);
    int OnOpenFolder();
    int OnShowConfig();
    int OnAudioInputChanged(int index);
    // The engine's events: the sound of a start, a recording that ended by
    // itself, the camera gone, the last file finished.
    void OnSoundStarted(int result);
    void OnRecordingFailed(int cause, int error);
    void OnCameraLost();
    void OnFinished();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // The preview area changes size with the row below it, too.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetupUi();
    void LoadCameras();
    int StartCamera(const std::string& path, int width, int height);
    int StopCamera();
    int StartPreview();
    int StopPreview();
    void FitVideo(int width, int height);
    // The start succeeded: the window shows a recording.
    int Started();
    // The engine finishes the file in the background; busy until then.
    void StopRecording();

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
        QToolButton* btnSettings;
    } ui;

    DlgCamConfig* m_configDialog;  // made on first use; follows the running camera
    std::vector<CameraInfo> m_cameras;
    CameraCapture* m_camera;       // the running camera, or none
    std::string m_cameraPath;
    // The running camera's picture.
    int32_t m_frameWidth;
    int32_t m_frameHeight;
    int32_t m_bitsPerPixel;
    uint32_t m_compression;
    bool m_recording;
    // A start is under way: its message boxes run an event loop in which
    // F3 must not begin a second recording.
    bool m_starting;
    // The last file is being finished: no new start until then.
    bool m_finishing;
    PresentTask* m_presenter;      // changed only while the camera is stopped
    int m_reverse;                 // 0 or 1
    // The recording: packer, clock, frame numbering, flip, preview, sound.
    RecordingSession m_session;
    RecorderControls* m_controls;  // child
};
