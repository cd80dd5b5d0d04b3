#include "widgets/hyperlink.h"

#include <QColor>
#include <QCursor>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QUrl>

#include "framework/colors.h"
#include "framework/dialog.h"
#include "framework/framework.h"

namespace norvane {
namespace {

constexpr COLORREF kLinkColour = RGB(0, 0, 255);       // blue
constexpr COLORREF kVisitedColour = RGB(128, 0, 128);  // purple

// Shared by every bound link, alive while at least one is bound.
struct SharedLinkState {
    int count = 0;
    std::optional<QFont> underlineFont;
    std::optional<QCursor> handCursor;
};

SharedLinkState& Shared() {
    static SharedLinkState state;
    return state;
}

CHyperLink* LinkOf(const QObject* control) {
    return static_cast<CHyperLink*>(control->property(CHyperLink::kProperty).value<void*>());
}

// The rectangle one pixel outside the control, in the parent's coordinates.
QRect FocusRectOf(const QWidget* control) {
    return control->geometry().adjusted(-1, -1, 1, 1);
}

}  // namespace

// The link's side of the control: the events the link handles instead of the label.
class LinkControlFilter : public QObject {
  public:
    LinkControlFilter(QLabel* control, CHyperLink* link) : QObject(control), m_link(link) {}
    ~LinkControlFilter() override {
        if (m_link != nullptr) {
            m_link->Released();  // the control is going away
        }
    }
    void Forget() { m_link = nullptr; }

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        return m_link != nullptr && m_link->HandleEvent(event);
    }

  private:
    CHyperLink* m_link;
};

// The parent's side: draws the focus rectangles of its links, which lie outside the links.
class LinkParentFilter : public QObject {
  public:
    explicit LinkParentFilter(QWidget* parent) : QObject(parent) {
        setObjectName(QStringLiteral("hyperlinkParentFilter"));
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* parent = qobject_cast<QWidget*>(watched);
        if (parent == nullptr || parent != this->parent() || event->type() != QEvent::Paint) {
            return false;
        }
        static_cast<QObject*>(parent)->event(event);  // the parent's own painting first
        QPainter painter(parent);
        painter.setClipRegion(static_cast<QPaintEvent*>(event)->region());
        QPen pen(parent->palette().color(QPalette::WindowText), 0);
        pen.setDashPattern({1, 1});  // every other pixel, as a dotted focus rectangle
        painter.setPen(pen);
        for (QObject* child : parent->children()) {
            auto* control = qobject_cast<QLabel*>(child);
            CHyperLink* link = control != nullptr ? LinkOf(control) : nullptr;
            if (link != nullptr && link->isShowingFocusRect()) {
                const QRect r = FocusRectOf(control);
                painter.drawRect(r.adjusted(0, 0, -1, -1));
            }
        }
        return true;
    }
};

CHyperLink::CHyperLink() = default;

CHyperLink::~CHyperLink() {
    Unbind();
}

void CHyperLink::SetLinkText(const QString& text) {
    m_linkText = text;
}

bool CHyperLink::BindToDialogItem(QWidget* parent, int id, const QString& target, const QUrl& url) {
    return BindToStatic(qobject_cast<QLabel*>(DialogItem(parent, id)), target, url);
}

bool CHyperLink::BindToStatic(QLabel* control, const QString& target, const QUrl& url) {
    if (control == nullptr) {
        return false;
    }
    SetLinkText(target);
    Unbind();
    m_url = url;
    if (QWidget* parent = control->parentWidget();
        parent != nullptr && !parent->property(kProperty).isValid()) {
        // A parent with several links gets one filter.
        auto* parentFilter = new LinkParentFilter(parent);
        parent->setProperty(kProperty, QVariant::fromValue(static_cast<void*>(parentFilter)));
        parent->installEventFilter(parentFilter);
    }
    control->setMouseTracking(true);  // moves without a button pressed, for the hover
    m_ownFont = control->font();
    SharedLinkState& shared = Shared();
    if (shared.count++ == 0) {
        QFont underline = m_ownFont;
        underline.setUnderline(true);
        shared.underlineFont = underline;
        shared.handCursor = QCursor(Qt::PointingHandCursor);
    }
    m_control = control;
    control->setProperty(kProperty, QVariant::fromValue(static_cast<void*>(this)));
    m_filter = new LinkControlFilter(control, this);
    control->installEventFilter(m_filter);
    control->setCursor(*shared.handCursor);
    ApplyColour();
    return true;
}

bool CHyperLink::HandleEvent(QEvent* event) {
    switch (event->type()) {
        case QEvent::Paint:
            ApplyColour();  // the visited colour shows from the next repaint on
            return false;
        case QEvent::FocusIn:
            OnHighlight();
            ToggleFocusRect();
            return true;
        case QEvent::FocusOut:
            OnUnhighlight();
            ToggleFocusRect();
            return true;
        case QEvent::KeyRelease: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Space && !key->isAutoRepeat()) {
                Activate();
                return true;
            }
            return false;
        }
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                Activate();  // whether or not the press was on the link
                return true;
            }
            return false;
        case QEvent::MouseMove:
            HoverMove(static_cast<QMouseEvent*>(event)->position().toPoint());
            return true;
        case QEvent::Leave:
        case QEvent::Hide:
            if (m_hovering) {
                HoverEnd();
            }
            return false;
        default:
            return false;
    }
}

void CHyperLink::Activate() {
    // The bound URL, not the status text. A desktop without a browser is its own to report (Qt
    // warns on the console); the link counts as used either way.
    OpenUrl(m_url);
    m_visited = true;
}

void CHyperLink::HoverMove(const QPoint& pos) {
    // Without the grab, moves reach the control only over it; with it, also from outside.
    const bool inside = m_control->rect().contains(pos);
    if (!m_hovering && inside) {
        HoverStart();
    } else if (m_hovering && !inside) {
        HoverEnd();
    }
}

void CHyperLink::HoverStart() {
    m_hovering = true;
    m_control->setFont(*Shared().underlineFont);
    m_control->update();
    OnHighlight();
    // Moves outside the control still reach it, so leaving ends the hover.
    if (m_control != nullptr && m_control->isVisible()) {
        m_control->grabMouse();
    }
}

void CHyperLink::HoverEnd() {
    m_hovering = false;
    if (QWidget::mouseGrabber() == m_control) {
        m_control->releaseMouse();
    }
    OnUnhighlight();
    if (m_control != nullptr) {
        m_control->setFont(m_ownFont);
        m_control->update();
    }
}

void CHyperLink::ToggleFocusRect() {
    QWidget* parent = m_control != nullptr ? m_control->parentWidget() : nullptr;
    if (parent == nullptr) {
        return;
    }
    m_focusRect = !m_focusRect;
    parent->update(FocusRectOf(m_control));
}

void CHyperLink::ApplyColour() {
    const QColor wanted = ToQColor(m_visited ? kVisitedColour : kLinkColour);
    if (m_control->palette().color(QPalette::WindowText) != wanted) {
        QPalette palette = m_control->palette();
        palette.setColor(QPalette::WindowText, wanted);
        m_control->setPalette(palette);
    }
}

void CHyperLink::Unbind() {
    if (m_filter == nullptr) {
        return;
    }
    if (QLabel* control = m_control) {
        if (m_hovering && QWidget::mouseGrabber() == control) {
            control->releaseMouse();
        }
        if (m_focusRect) {
            ToggleFocusRect();
        }
        control->removeEventFilter(m_filter);
        control->setFont(m_ownFont);
        control->unsetCursor();
        control->setProperty(kProperty, QVariant());
    }
    m_filter->Forget();
    delete m_filter;
    Released();
}

void CHyperLink::Released() {
    m_filter = nullptr;
    m_control = nullptr;
    m_hovering = false;
    m_focusRect = false;
    SharedLinkState& shared = Shared();
    if (--shared.count <= 0) {
        shared.count = 0;
        shared.underlineFont.reset();
        shared.handCursor.reset();
    }
}

int CHyperLink::LinkCount() {
    return Shared().count;
}

std::optional<QFont> CHyperLink::SharedUnderlineFont() {
    return Shared().underlineFont;
}

}  // namespace norvane
