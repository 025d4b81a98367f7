#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QToolButton;

// The recording options: video codec, pictures a second, sound samples a
// second and the recordings folder (chosen with the desktop's folder
// dialog). Shows the settings file's values; "确定" writes them there, and
// they apply to the next recording. UI thread.
class DlgSettings : public QDialog {
    Q_OBJECT

public:
    explicit DlgSettings(QWidget* parent = nullptr);

    // Shows the dialog with the file's current values.
    void Reload();

public slots:
    // Writes the choices into the settings file, then closes.
    void OnAccept();
    // Asks the desktop for a folder. Always 0.
    int OnChooseFolder();

private:
    QComboBox* cbxCodec;
    QComboBox* cbxFrameRate;
    QComboBox* cbxSampleRate;
    QLineEdit* edtFolder;
    QToolButton* btnChooseFolder;
};
