#include "widgets/status_label.h"

#include <QLabel>
#include <QPalette>
#include <QThread>

namespace norvane {

CReadOnlyEdit::CReadOnlyEdit() = default;

CReadOnlyEdit::~CReadOnlyEdit() = default;

void CReadOnlyEdit::Attach(QLabel* label) {
    m_label = label;
    UpdatePalette();
}

void CReadOnlyEdit::SetBkColor(COLORREF color) {
    if (QThread::currentThread() != thread()) {
        // Queued to this object: dropped with it if it goes away first.
        QMetaObject::invokeMethod(
            this, [this, color] { ApplyBkColor(color); }, Qt::QueuedConnection);
        return;
    }
    ApplyBkColor(color);
}

void CReadOnlyEdit::SetTextColor(COLORREF color) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, color] { ApplyTextColor(color); }, Qt::QueuedConnection);
        return;
    }
    ApplyTextColor(color);
}

void CReadOnlyEdit::ApplyBkColor(COLORREF color) {
    m_bkColor = color;
    m_hasBackground = true;
    UpdatePalette();
}

void CReadOnlyEdit::ApplyTextColor(COLORREF color) {
    m_textColor = color;
    UpdatePalette();
}

void CReadOnlyEdit::UpdatePalette() {
    if (m_label == nullptr) {
        return;
    }
    QPalette palette = m_label->palette();
    palette.setColor(QPalette::WindowText, ToQColor(m_textColor));
    if (m_hasBackground) {
        palette.setColor(QPalette::Window, ToQColor(m_bkColor));
    }
    m_label->setPalette(palette);  // repaints the whole label
    m_label->setAutoFillBackground(m_hasBackground);
}

}  // namespace norvane
