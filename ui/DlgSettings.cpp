#include "ui/DlgSettings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/AppPaths.h"
#include "app/RecordingSettings.h"
#include "media/RecordingFormat.h"
#include "os/OS_Log.h"
#include "ui/TextCodec.h"

namespace {

QComboBox* MakeList(QWidget* parent, const char* name, const QList<QPair<QString, int>>& items) {
    QComboBox* list = new QComboBox(parent);
    list->setObjectName(name);
    for (const auto& item : items)
        list->addItem(item.first, item.second);
    return list;
}

void Select(QComboBox* list, int value) {
    int index = list->findData(value);
    list->setCurrentIndex(index < 0 ? 0 : index);
}

}  // namespace

DlgSettings::DlgSettings(QWidget* parent) : QDialog(parent) {
    setObjectName("DlgSettings");
    setWindowTitle(tr("录制设置"));
    QVBoxLayout* layout = new QVBoxLayout(this);
    QFormLayout* form = new QFormLayout();
    form->setObjectName("formSettings");
    cbxCodec = MakeList(this, "cbxCodec", {{tr("MPEG-4 (默认)"), RecordingFormat::CODEC_MPEG4},
                                           {tr("H.264"), RecordingFormat::CODEC_H264}});
    form->addRow(tr("视频编码:"), cbxCodec);
    cbxFrameRate = MakeList(this, "cbxFrameRate", {{tr("25 帧/秒 (默认)"), 25}, {tr("30 帧/秒"), 30},
                                                   {tr("60 帧/秒"), 60}});
    form->addRow(tr("帧率:"), cbxFrameRate);
    cbxSampleRate = MakeList(this, "cbxSampleRate", {{tr("11025 Hz (默认)"), 11025}, {tr("44100 Hz"), 44100},
                                                     {tr("48000 Hz"), 48000}});
    form->addRow(tr("声音采样率:"), cbxSampleRate);
    QHBoxLayout* folderRow = new QHBoxLayout();
    edtFolder = new QLineEdit(this);
    edtFolder->setObjectName("edtFolder");
    edtFolder->setPlaceholderText(tr("默认文件夹"));
    edtFolder->setMinimumWidth(220);
    btnChooseFolder = new QToolButton(this);
    btnChooseFolder->setObjectName("btnChooseFolder");
    btnChooseFolder->setText(tr("浏览..."));
    folderRow->addWidget(edtFolder);
    folderRow->addWidget(btnChooseFolder);
    form->addRow(tr("视频文件夹:"), folderRow);
    layout->addLayout(form);
    QDialogButtonBox* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName("btnsSettings");
    buttons->button(QDialogButtonBox::Ok)->setText(tr("确定"));
    buttons->button(QDialogButtonBox::Cancel)->setText(tr("取消"));
    layout->addWidget(buttons);

    connect(btnChooseFolder, &QToolButton::clicked, this, &DlgSettings::OnChooseFolder);
    connect(buttons, &QDialogButtonBox::accepted, this, &DlgSettings::OnAccept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Reload();
}

void DlgSettings::Reload() {
    RecordingSettings settings;
    settings.Load(AppPaths::Global().ConfigPath().c_str());
    Select(cbxCodec, settings.codec);
    Select(cbxFrameRate, settings.fps);
    Select(cbxSampleRate, settings.sampleRate);
    edtFolder->setText(ToQString(settings.outputFolder));
}

void DlgSettings::OnAccept() {
    RecordingSettings settings;
    settings.codec = cbxCodec->currentData().toInt();
    settings.fps = cbxFrameRate->currentData().toInt();
    settings.sampleRate = cbxSampleRate->currentData().toInt();
    settings.outputFolder = ToGbString(edtFolder->text().trimmed());
    if (settings.Save(AppPaths::Global().ConfigPath().c_str()) != 0)
        OS_Log::Error("settings: could not write the settings file\n");
    accept();
}

int DlgSettings::OnChooseFolder() {
    QString start = edtFolder->text().isEmpty() ? ToQString(AppPaths::Global().OutputFolder()) : edtFolder->text();
    QString folder = QFileDialog::getExistingDirectory(this, tr("选择视频文件夹"), start);
    if (!folder.isEmpty())
        edtFolder->setText(folder);
    return 0;
}
