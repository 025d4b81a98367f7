#pragma once

#include <QWidget>

class QFrame;
class QLabel;
class QPushButton;
class QRadioButton;

// The start-up window: the user picks screen or camera recording. Closing it
// without a choice ends the program.
class DlgWorkMode : public QWidget {
    Q_OBJECT

public:
    explicit DlgWorkMode(QWidget* parent = nullptr);

    // Opens screen (true) or camera recording as if chosen here, without
    // the window having been shown (vidloom --screen, --camera).
    void Enter(bool screen);

private slots:
    int OnEnter();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void SetupUi();

    QFrame* frame;
    QRadioButton* chScreen;
    QRadioButton* chCamera;
    QPushButton* btnEnter;
    QLabel* label;
    bool m_launched;  // a recorder window was opened: closing only hides
};
