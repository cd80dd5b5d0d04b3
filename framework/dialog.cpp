#include "framework/dialog.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "framework/framework.h"

namespace norvane {
namespace {

// Every control carries its ID here, so code that only has the widget finds it.
constexpr char kIdProperty[] = "norvaneDialogItemId";

int Scale(int units, int baseUnit, int divisor, double dpi) {
    return static_cast<int>(std::lround(units * baseUnit * dpi / (divisor * 96.0)));
}

Qt::WindowFlags FlagsFor(const DialogTemplate& t) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if ((t.style & WS_CAPTION) != 0) {
        flags |= Qt::WindowTitleHint;
    }
    if ((t.style & WS_SYSMENU) != 0) {
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    return flags;
}

QFont FontFor(const DialogTemplate& t) {
    QString family = QString::fromLatin1(t.fontName);
    if (family == QLatin1String("MS Shell Dlg") || family == QLatin1String("MS Shell Dlg 2")) {
        family = QStringLiteral("Liberation Sans");
    }
    QFont font(family);
    font.setPointSize(t.fontPoints);
    return font;
}

Qt::Alignment StaticAlignment(std::uint32_t style) {
    Qt::Alignment horizontal = Qt::AlignLeft;
    switch (style & SS_TYPEMASK) {
        case SS_CENTER:
            horizontal = Qt::AlignHCenter;
            break;
        case SS_RIGHT:
            horizontal = Qt::AlignRight;
            break;
        default:
            break;
    }
    Qt::Alignment vertical = (style & SS_CENTERIMAGE) != 0 ? Qt::AlignVCenter : Qt::AlignTop;
    return horizontal | vertical;
}

QWidget* MakeStatic(const ControlTemplate& row) {
    auto* label = new QLabel;
    label->setTextFormat(Qt::PlainText);
    if ((row.style & SS_TYPEMASK) == SS_BITMAP) {
        // "#134": bitmap resource 134, centred and not stretched with SS_CENTERIMAGE.
        const char* name = row.text;
        if (name != nullptr && name[0] == '#') {
            label->setPixmap(QPixmap(BitmapResource(std::atoi(name + 1))));
        }
        label->setAlignment((row.style & SS_CENTERIMAGE) != 0 ? Qt::AlignCenter
                                                              : Qt::AlignLeft | Qt::AlignTop);
    } else {
        label->setText(QString::fromLatin1(row.text));
        label->setAlignment(StaticAlignment(row.style));
    }
    if ((row.style & SS_SUNKEN) != 0) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
    }
    return label;
}

QWidget* MakeButton(const ControlTemplate& row) {
    if ((row.style & BS_TYPEMASK) == BS_GROUPBOX) {
        auto* box = new QGroupBox(QString::fromLatin1(row.text));
        box->setAlignment((row.style & BS_CENTER) == BS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft);
        // A group box is only a frame: clicks go to what lies under it.
        box->setAttribute(Qt::WA_TransparentForMouseEvents);
        return box;
    }
    auto* button = new QPushButton(QString::fromLatin1(row.text));
    // The dialog, not the button, decides what Enter does (keyPressEvent).
    button->setAutoDefault(false);
    return button;
}

QWidget* MakeCombo() {
    auto* combo = new QComboBox;
    combo->setEditable(false);
    return combo;
}

QWidget* MakeProgress() {
    auto* bar = new QProgressBar;
    bar->setTextVisible(false);
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

}  // namespace

QRect DialogUnitsToPixels(const DialogRect& r, double dpi) {
    return QRect(Scale(r.x, kBaseUnitX, 4, dpi), Scale(r.y, kBaseUnitY, 8, dpi),
                 Scale(r.cx, kBaseUnitX, 4, dpi), Scale(r.cy, kBaseUnitY, 8, dpi));
}

QWidget* DialogItem(QWidget* parent, int id) {
    if (parent == nullptr) {
        return nullptr;
    }
    if (auto* dialog = qobject_cast<CDialog*>(parent)) {
        return dialog->item(id);
    }
    for (QObject* child : parent->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && DialogItemId(widget) == id) {
            return widget;
        }
    }
    return nullptr;
}

int DialogItemId(const QWidget* control) {
    const QVariant id = control != nullptr ? control->property(kIdProperty) : QVariant();
    return id.isValid() ? id.toInt() : 0;
}

const MessageMap& CDialog::ClassMessageMap() {
    static const MessageMapEntry entries[] = {
        MapEntry(Notify::Clicked, IDOK, &CDialog::OnOK),
        MapEntry(Notify::Clicked, IDCANCEL, &CDialog::OnCancel),
    };
    static const MessageMap map{nullptr, entries};
    return map;
}

CDialog::CDialog(const DialogTemplate& dialogTemplate, QWidget* parent)
    : QDialog(parent, FlagsFor(dialogTemplate)), m_template(dialogTemplate) {}

CDialog::~CDialog() = default;

int CDialog::DoModal() {
    if (parentWidget() == nullptr) {
        // No parent given: the main window owns the dialog and takes no input while it runs.
        QWidget* owner = MainWindow();
        if (owner != nullptr && owner != this) {
            setParent(owner, windowFlags());
        }
    }
    Create();
    return exec();
}

void CDialog::Create() {
    if (m_created) {
        return;
    }
    m_created = true;
    BuildWindow();
    for (const ControlTemplate& row : m_template.controls) {
        QWidget* widget = BuildControl(row);
        m_controls.push_back(DialogControl{row.id, widget, &row});
    }
    DoDataExchange();
    if (OnInitDialog()) {
        FocusFirstTabStop();
    }
}

void CDialog::BuildWindow() {
    if (QScreen* s = screen()) {
        m_dpi = s->logicalDotsPerInch();
    }
    setWindowTitle(QString::fromLatin1(m_template.title));
    setFont(FontFor(m_template));
    int menuHeight = 0;
    if (!m_template.menu.empty()) {
        m_menuBar = new QMenuBar(this);
        m_menuBar->setNativeMenuBar(false);
        for (const MenuItemTemplate& entry : m_template.menu) {
            QAction* action = m_menuBar->addAction(QString::fromLatin1(entry.text));
            const int command = entry.command;
            connect(action, &QAction::triggered, this, [this, command] { Command(command); });
        }
        // A bar whose only item has no text is still one menu line high.
        menuHeight =
            std::max(m_menuBar->sizeHint().height(), m_menuBar->fontMetrics().height() + 8);
    }
    m_clientOrigin = QPoint(0, menuHeight);
    const QRect client = MapDialogRect(DialogRect{0, 0, m_template.rect.cx, m_template.rect.cy});
    setFixedSize(client.width(), client.height() + menuHeight);
    if (m_menuBar != nullptr) {
        m_menuBar->setGeometry(0, 0, client.width(), menuHeight);
    }
}

QWidget* CDialog::BuildControl(const ControlTemplate& row) {
    QWidget* widget = nullptr;
    switch (row.cls) {
        case ControlClass::Static:
            widget = MakeStatic(row);
            break;
        case ControlClass::Button:
            widget = MakeButton(row);
            break;
        case ControlClass::ComboBox:
            widget = MakeCombo();
            break;
        case ControlClass::Progress:
            widget = MakeProgress();
            break;
    }
    widget->setParent(this);
    widget->setProperty(kIdProperty, row.id);
    if ((row.style & WS_TABSTOP) != 0) {
        widget->setFocusPolicy(Qt::StrongFocus);
    } else if (widget->focusPolicy() != Qt::NoFocus) {
        widget->setFocusPolicy(Qt::ClickFocus);  // reachable by the mouse, skipped by Tab
    }
    QRect rect = MapDialogRect(row.rect).translated(m_clientOrigin);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        // The template's height is the dropped-down list's; the closed box is one line high.
        const int boxHeight = combo->sizeHint().height();
        const int lineHeight = std::max(1, combo->fontMetrics().height());
        combo->setMaxVisibleItems(std::max(1, (rect.height() - boxHeight) / lineHeight));
        rect.setHeight(boxHeight);
    }
    widget->setGeometry(rect);
    // Earlier controls lie above later ones, as in a dialog template's z-order.
    widget->lower();
    Connect(widget, row);
    return widget;
}

void CDialog::Connect(QWidget* widget, const ControlTemplate& row) {
    const int id = row.id;
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        connect(button, &QPushButton::clicked, this, [this, id] { Dispatch(Notify::Clicked, id); });
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        // Only a choice by the user, as CBN_SELCHANGE; setting the selection in code is silent.
        connect(combo, &QComboBox::activated, this,
                [this, id] { Dispatch(Notify::SelChange, id); });
    } else if (row.cls == ControlClass::Static && (row.style & SS_NOTIFY) != 0) {
        widget->installEventFilter(this);
    }
}

bool CDialog::eventFilter(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && widget->parent() == this) {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            Dispatch(Notify::Clicked, DialogItemId(widget));
        } else if (event->type() == QEvent::MouseButtonDblClick &&
                   static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            Dispatch(Notify::DblClk, DialogItemId(widget));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CDialog::FocusFirstTabStop() {
    for (const DialogControl& control : m_controls) {
        if ((control.row->style & WS_TABSTOP) != 0 && control.widget->isEnabled() &&
            !control.widget->isHidden()) {
            control.widget->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

QRect CDialog::MapDialogRect(const DialogRect& rect) const {
    return DialogUnitsToPixels(rect, m_dpi);
}

QWidget* CDialog::item(int id) const {
    auto it = std::find_if(m_controls.begin(), m_controls.end(),
                           [id](const DialogControl& c) { return c.id == id; });
    return it != m_controls.end() ? it->widget : nullptr;
}

void CDialog::setItemText(int id, const QString& text) {
    QWidget* w = item(id);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(text);
    } else if (auto* box = qobject_cast<QGroupBox*>(w)) {
        box->setTitle(text);
    }
    // A drop-down list has no text of its own to set.
}

QString CDialog::itemText(int id) const {
    QWidget* w = item(id);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        return button->text();
    }
    if (auto* box = qobject_cast<QGroupBox*>(w)) {
        return box->title();
    }
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        return combo->currentText();
    }
    return {};
}

bool CDialog::Dispatch(Notify code, int id) {
    for (const MessageMap* map = &GetMessageMap(); map != nullptr; map = map->base) {
        for (const MessageMapEntry& entry : map->entries) {
            if (entry.code == code && entry.id == id) {
                (this->*entry.handler)();
                return true;
            }
        }
    }
    return false;
}

void CDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            // A focused push button takes Enter itself; otherwise the dialog's default command.
            auto* button = qobject_cast<QPushButton*>(focusWidget());
            if (button != nullptr && button->isEnabled() && button->parent() == this) {
                button->click();
            } else {
                Command(IDOK);
            }
            event->accept();
            return;
        }
        case Qt::Key_Escape:
            Command(IDCANCEL);
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void CDialog::BadBinding(int id) const {
    qFatal("dialog %d: control %d missing or of another class", m_template.id, id);
}

}  // namespace norvane
