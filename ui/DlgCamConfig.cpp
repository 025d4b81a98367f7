#include "ui/DlgCamConfig.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include <vector>

#include "capture/CameraCapture.h"

namespace {

// Item data of a resolution entry.
constexpr int ROLE_WIDTH = Qt::UserRole + 1;
constexpr int ROLE_HEIGHT = Qt::UserRole + 2;
// Shown when the camera reports no frame time.
constexpr int DEFAULT_FPS = 15;
const char* const LABEL_STYLE = "color: rgb(0, 85, 255);";

}  // namespace

DlgCamConfig::DlgCamConfig(CameraCapture* cam, QWidget* parent)
    : QDialog(parent), camera(cam), brightness(0), contrast(0), saturation(0), reversed(false), ui{} {
    SetupUi();

    connect(ui.ctlBrightness, &QSlider::valueChanged, this, &DlgCamConfig::OnQualityChanged);
    connect(ui.ctlContrast, &QSlider::valueChanged, this, &DlgCamConfig::OnQualityChanged);
    connect(ui.ctlSaturation, &QSlider::valueChanged, this, &DlgCamConfig::OnQualityChanged);
    connect(ui.btnReverse, &QCheckBox::clicked, this, &DlgCamConfig::OnBtnReversed);
    connect(ui.cbxResolution, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DlgCamConfig::OnResolutionChanged);

    LoadCamera();
}

QLabel* DlgCamConfig::CreateLabel(const char* name, const QString& text) {
    QLabel* label = new QLabel(this);
    label->setObjectName(name);
    label->setStyleSheet(LABEL_STYLE);
    label->setText(text);
    return label;
}

QSlider* DlgCamConfig::CreateSlider(const char* name) {
    QSlider* slider = new QSlider(ui.frame);
    slider->setObjectName(name);
    slider->setOrientation(Qt::Horizontal);
    slider->setSingleStep(5);
    return slider;
}

// One row of the frame: a label, then a slider.
QSlider* DlgCamConfig::AddSliderRow(const char* rowName, QHBoxLayout** row, const char* labelName,
                                    QLabel** label, const QString& text, const char* sliderName) {
    *row = new QHBoxLayout();
    (*row)->setObjectName(rowName);
    (*row)->setSpacing(6);
    *label = CreateLabel(labelName, text);
    (*row)->addWidget(*label);
    QSlider* slider = CreateSlider(sliderName);
    (*row)->addWidget(slider);
    ui.verticalLayout->addLayout(*row);
    return slider;
}

void DlgCamConfig::SetupUi() {
    setObjectName("DlgCamConfig");
    resize(INITIAL_WIDTH, INITIAL_HEIGHT);
    setWindowTitle(tr("调整摄像头参数"));
    setWindowIcon(QIcon(":/image/icon/settings.png"));

    ui.verticalLayout_2 = new QVBoxLayout(this);
    ui.verticalLayout_2->setObjectName("verticalLayout_2");
    ui.verticalLayout_2->setSpacing(6);
    ui.verticalLayout_2->setContentsMargins(11, 11, 11, 11);

    // resolution row
    ui.horizontalLayout_3 = new QHBoxLayout();
    ui.horizontalLayout_3->setObjectName("horizontalLayout_3");
    ui.horizontalLayout_3->setSpacing(6);
    ui.label_4 = CreateLabel("label_4", tr("分辨率"));
    ui.horizontalLayout_3->addWidget(ui.label_4);
    ui.cbxResolution = new QComboBox(this);
    ui.cbxResolution->setObjectName("cbxResolution");
    ui.horizontalLayout_3->addWidget(ui.cbxResolution);
    ui.btnReverse = new QCheckBox(this);
    ui.btnReverse->setObjectName("btnReverse");
    ui.btnReverse->setStyleSheet(LABEL_STYLE);
    ui.btnReverse->setText(tr("翻转摄像头"));
    ui.horizontalLayout_3->addWidget(ui.btnReverse);
    ui.verticalLayout_2->addLayout(ui.horizontalLayout_3);

    // the white frame with frame rate and picture controls
    ui.frame = new QFrame(this);
    ui.frame->setObjectName("frame");
    ui.frame->setStyleSheet("background-color: rgb(255, 255, 255);");
    ui.verticalLayout = new QVBoxLayout(ui.frame);
    ui.verticalLayout->setObjectName("verticalLayout");
    ui.verticalLayout->setSpacing(6);
    ui.verticalLayout->setContentsMargins(11, 11, 11, 11);

    ui.horizontalLayout = new QHBoxLayout();
    ui.horizontalLayout->setObjectName("horizontalLayout");
    ui.horizontalLayout->setSpacing(6);
    ui.label = CreateLabel("label", tr("帧率"));
    ui.horizontalLayout->addWidget(ui.label);
    ui.ctlFrameRate = new QSpinBox(ui.frame);
    ui.ctlFrameRate->setObjectName("ctlFrameRate");
    ui.ctlFrameRate->setRange(10, 25);
    ui.ctlFrameRate->setSingleStep(5);
    ui.ctlFrameRate->setValue(DEFAULT_FPS);
    ui.horizontalLayout->addWidget(ui.ctlFrameRate);
    ui.label_2 = CreateLabel("label_2", tr("帧/秒"));
    ui.horizontalLayout->addWidget(ui.label_2);
    ui.verticalLayout->addLayout(ui.horizontalLayout);

    ui.ctlBrightness = AddSliderRow("horizontalLayout_2", &ui.horizontalLayout_2, "label_3", &ui.label_3,
                                    tr("亮度"), "ctlBrightness");
    ui.ctlContrast = AddSliderRow("horizontalLayout_4", &ui.horizontalLayout_4, "label_5", &ui.label_5,
                                  tr("对比度"), "ctlContrast");
    ui.ctlSaturation = AddSliderRow("horizontalLayout_5", &ui.horizontalLayout_5, "label_6", &ui.label_6,
                                    tr("饱和度"), "ctlSaturation");

    ui.verticalLayout_2->addWidget(ui.frame);
}

void DlgCamConfig::LoadCamera() {
    if (camera == nullptr) {
        // no camera: no sizes to offer
        QSignalBlocker blocker(ui.cbxResolution);
        ui.cbxResolution->clear();
        return;
    }

    // frame rate: shown only, clamped by the spin box to 10..25
    int fps = DEFAULT_FPS;
    camera->GetFrameRate(&fps);
    ui.ctlFrameRate->setValue(fps);

    // picture controls: each slider that moves writes the values back
    int b = ui.ctlBrightness->value();
    int c = ui.ctlContrast->value();
    int s = ui.ctlSaturation->value();
    camera->GetPictureQuality(&b, &c, &s);
    ui.ctlBrightness->setValue(b);
    ui.ctlContrast->setValue(c);
    ui.ctlSaturation->setValue(s);

    // resolutions in the camera's order; entry 0 is current afterwards
    std::vector<CameraCapability> caps;
    camera->EnumerateCapabilities(caps);
    QSignalBlocker blocker(ui.cbxResolution);
    ui.cbxResolution->clear();
    for (size_t i = 0; i < caps.size(); ++i) {
        ui.cbxResolution->insertItem(int(i), QString::asprintf("%dx%d", caps[i].width, caps[i].height));
        ui.cbxResolution->setItemData(int(i), caps[i].width, ROLE_WIDTH);
        ui.cbxResolution->setItemData(int(i), caps[i].height, ROLE_HEIGHT);
    }
}

void DlgCamConfig::SetCamera(CameraCapture* cam) {
    camera = cam;
    LoadCamera();
}

void DlgCamConfig::SetReversed(bool state) {
    reversed = state;
    ui.btnReverse->setChecked(state);
}

int DlgCamConfig::OnQualityChanged() {
    brightness = ui.ctlBrightness->value();
    contrast = ui.ctlContrast->value();
    saturation = ui.ctlSaturation->value();
    if (camera != nullptr)
        camera->SetPictureQuality(brightness, contrast, saturation);
    return 0;
}

int DlgCamConfig::OnBtnReversed() {
    emit evtReversed(ui.btnReverse->isChecked());
    return 0;
}

int DlgCamConfig::OnResolutionChanged(int index) {
    if (index < 0)
        return 0;
    int w = ui.cbxResolution->itemData(index, ROLE_WIDTH).toInt();
    int h = ui.cbxResolution->itemData(index, ROLE_HEIGHT).toInt();
    emit evtResolutionChanged(w, h);
    return 0;
}
