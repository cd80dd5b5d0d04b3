// A status label with its own text and background colours, bound to a static control of a
// dialog (DDX_Control). The owner sets the background first, then the text colour, then the
// text; the NetMonitor window uses cyan or red behind yellow text.
//
// The setters may be called from any thread. The colours live on the label's thread (the UI
// thread): a call from another thread is queued there and applied in call order, so painting
// never sees a colour half-way through being replaced. The getters belong to the UI thread.
#pragma once

#include <QObject>
#include <QPointer>

#include "framework/colors.h"

#include <QLabel>

namespace norvane {

class CReadOnlyEdit : public QObject {
    Q_OBJECT

  public:
    using Control = QLabel;

    CReadOnlyEdit();
    ~CReadOnlyEdit() override;

    // Binds to the control; the text is painted in the text colour (black until set).
    void Attach(QLabel* label);
    QLabel* label() const { return m_label; }

    void SetBkColor(COLORREF color);
    void SetTextColor(COLORREF color);

    COLORREF textColor() const { return m_textColor; }
    COLORREF bkColor() const { return m_bkColor; }
    // False until the first SetBkColor: the control keeps the dialog's own background.
    bool hasBackground() const { return m_hasBackground; }

  private:
    void ApplyBkColor(COLORREF color);
    void ApplyTextColor(COLORREF color);
    void UpdatePalette();

    QPointer<QLabel> m_label;
    COLORREF m_textColor = RGB(0, 0, 0);
    COLORREF m_bkColor = RGB(0, 0, 0);
    bool m_hasBackground = false;
};

}  // namespace norvane
