#pragma once

#include <QDialog>

class CameraCapture;
class QCheckBox;
class QComboBox;
class QFrame;
class QHBoxLayout;
class QLabel;
class QSlider;
class QSpinBox;
class QVBoxLayout;

// The camera settings: brightness, contrast and saturation applied to the
// camera at once, the flip option and a resolution choice; shows the frame
// rate. Works on a camera its creator keeps open; does not own it. UI thread
// only.
class DlgCamConfig : public QDialog {
    Q_OBJECT

public:
    static constexpr int INITIAL_WIDTH = 268;
    static constexpr int INITIAL_HEIGHT = 191;

    // Builds the widgets, connects them, then loads the camera's values.
    // camera may be null (nothing is loaded, the controls act on nothing).
    explicit DlgCamConfig(CameraCapture* camera, QWidget* parent = nullptr);

    // Hands over a new camera (after the window reopened it) and loads its
    // values; null before the window closes the old one, so the dialog never
    // acts on a closed camera. The resolution list is refilled without
    // emitting evtResolutionChanged.
    void SetCamera(CameraCapture* camera);
    // The window's flip state; the check box shows it. Emits nothing.
    void SetReversed(bool reversed);

signals:
    void evtResolutionChanged(int w, int h);
    void evtReversed(bool reversed);

public slots:
    // Applies the three sliders to the camera. Always 0.
    int OnQualityChanged();
    // Emits evtReversed with the check box's state. Always 0.
    int OnBtnReversed();
    // Emits evtResolutionChanged with entry index's size. Always 0.
    int OnResolutionChanged(int index);

private:
    void SetupUi();
    void LoadCamera();
    QSlider* CreateSlider(const char* name);
    QLabel* CreateLabel(const char* name, const QString& text);
    QSlider* AddSliderRow(const char* rowName, QHBoxLayout** row, const char* labelName, QLabel** label,
                          const QString& text, const char* sliderName);

    CameraCapture* camera;  // not owned; null when the window has none open
    int brightness;         // last percentages applied
    int contrast;
    int saturation;
    bool reversed;          // the flip state handed over by the window

    // The widget set; object names are fixed because the style sheet may
    // address them.
    struct Widgets {
        QVBoxLayout* verticalLayout_2;
        QHBoxLayout* horizontalLayout_3;
        QLabel* label_4;
        QComboBox* cbxResolution;
        QCheckBox* btnReverse;
        QFrame* frame;
        QVBoxLayout* verticalLayout;
        QHBoxLayout* horizontalLayout;
        QLabel* label;
        QSpinBox* ctlFrameRate;
        QLabel* label_2;
        QHBoxLayout* horizontalLayout_2;
        QLabel* label_3;
        QSlider* ctlBrightness;
        QHBoxLayout* horizontalLayout_4;
        QLabel* label_5;
        QSlider* ctlContrast;
        QHBoxLayout* horizontalLayout_5;
        QLabel* label_6;
        QSlider* ctlSaturation;
    } ui;
};
