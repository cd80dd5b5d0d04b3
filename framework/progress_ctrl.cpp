#include "framework/progress_ctrl.h"

#include <QPalette>
#include <algorithm>

namespace norvane {

void CProgressCtrl::SetRange32(int lower, int upper) {
    m_bar->setRange(lower, upper);
}

void CProgressCtrl::SetPos(int pos) {
    m_bar->setValue(
        std::clamp(pos, m_bar->minimum(), std::max(m_bar->minimum(), m_bar->maximum())));
}

void CProgressCtrl::SetBarColor(COLORREF color) {
    // Fusion fills the bar's chunk with the highlight brush.
    QPalette palette = m_bar->palette();
    palette.setColor(QPalette::Highlight, ToQColor(color));
    m_bar->setPalette(palette);
}

}  // namespace norvane
