// A progress bar bound to a template control. Unlike a Windows bar, which draws a position
// outside its range at the nearer end, QProgressBar ignores such a value and keeps the old one,
// so every position is clamped to the range before it is set.
#pragma once

#include <QProgressBar>

#include "framework/colors.h"

namespace norvane {

class CProgressCtrl {
  public:
    using Control = QProgressBar;

    void Attach(QProgressBar* bar) { m_bar = bar; }
    QProgressBar* bar() const { return m_bar; }

    void SetRange32(int lower, int upper);
    // Clamped to the range.
    void SetPos(int pos);
    void SetBarColor(COLORREF color);

  private:
    QProgressBar* m_bar = nullptr;
};

}  // namespace norvane
