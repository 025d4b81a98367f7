#include "ui/BaseDialog.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/AppPaths.h"
#include "ui/TextCodec.h"

BaseDialog::BaseDialog(const QString& background, QWidget* parent)
    : QDialog(parent), m_dragging(false) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_TranslucentBackground);
    m_background.load(ToQString(AppPaths::Global().DataPath(ToGbString(background))));
}

void BaseDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        m_dragging = true;
        m_dragOffset = event->globalPos() - frameGeometry().topLeft();
        event->accept();
    }
    QDialog::mousePressEvent(event);
}

void BaseDialog::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && m_dragging) {
        move(event->globalPos() - m_dragOffset);
        event->accept();
    }
    QDialog::mouseMoveEvent(event);
}

void BaseDialog::mouseReleaseEvent(QMouseEvent* event) {
    m_dragging = false;
    QDialog::mouseReleaseEvent(event);
}

void BaseDialog::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawPixmap(QRect(0, 0, width(), height()), m_background, m_background.rect());
    QDialog::paintEvent(event);
}
