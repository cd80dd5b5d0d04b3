// A hyperlink made of an existing static text control: blue until used and purple after,
// underlined while the pointer is over it, hand cursor, opened by a left-button release or a
// Space release on it. Event filters on the control and on its parent stand in for window
// subclassing; the control and the parent carry the link under one dynamic property.
//
// A link object outlives its binding: destroying the control releases the link; destroying the
// link first unbinds it from the control that is still there.
//
// Errors: binding is the only call of the widgets that can fail; it returns false (no such static
// control) and leaves the link unbound. Nothing throws.
#pragma once

#include <QFont>
#include <QLabel>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <optional>

class QEvent;

class QWidget;

namespace norvane {

class LinkControlFilter;
class LinkParentFilter;

class CHyperLink {
  public:
    // Key of the dynamic property on bound controls (value: the link) and on their parents
    // (value: the parent's event filter).
    static constexpr char kProperty[] =
        "_Hyperlink_Object_Pointer_\\{AFEED740-CC6D-47c5-831D-9848FD916EEF}";

    CHyperLink();
    virtual ~CHyperLink();
    CHyperLink(const CHyperLink&) = delete;
    CHyperLink& operator=(const CHyperLink&) = delete;

    // The text given when binding (the status text). The link opens the URL it was bound with,
    // whatever the status text says.
    void SetLinkText(const QString& text);
    const QString& linkText() const { return m_linkText; }
    const QUrl& url() const { return m_url; }

    bool BindToStatic(QLabel* control, const QString& target, const QUrl& url);
    // The static control `id` of a dialog built by the dialog framework.
    bool BindToDialogItem(QWidget* parent, int id, const QString& target, const QUrl& url);

    QLabel* control() const { return m_control; }
    bool isHovering() const { return m_hovering; }
    bool isVisited() const { return m_visited; }
    bool isShowingFocusRect() const { return m_focusRect; }

    // Process-wide: bound links, and the underline font they share while any is bound.
    static int LinkCount();
    static std::optional<QFont> SharedUnderlineFont();

  protected:
    virtual void OnHighlight() {}
    virtual void OnUnhighlight() {}

  private:
    friend class LinkControlFilter;
    friend class LinkParentFilter;

    bool HandleEvent(QEvent* event);
    void Activate();
    void HoverStart();
    void HoverMove(const QPoint& pos);
    void HoverEnd();
    void ToggleFocusRect();
    void ApplyColour();
    void Unbind();
    void Released();

    QString m_linkText;
    QUrl m_url;
    bool m_hovering = false;
    bool m_visited = false;
    bool m_focusRect = false;
    QFont m_ownFont;
    QPointer<QLabel> m_control;
    LinkControlFilter* m_filter = nullptr;
};

}  // namespace norvane
