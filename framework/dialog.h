// The dialog framework: a QDialog built from a dialog template, controls reached by ID,
// message maps that route control notifications to handlers, Windows' default OK/Cancel keys.
//
// A dialog class:
//
//   class CMyDlg : public CDialog {
//   public:
//       CMyDlg() : CDialog(DialogResource(IDD_MY)) {}
//       static const MessageMap& ClassMessageMap();
//   protected:
//       const MessageMap& GetMessageMap() const override { return ClassMessageMap(); }
//       void DoDataExchange() override { DDX_Control(IDC_LIST, m_list); }
//       bool OnInitDialog() override;
//   private:
//       void OnClickedGo();
//       QComboBox* m_list = nullptr;
//   };
//
//   const MessageMap& CMyDlg::ClassMessageMap() {
//       static const MessageMapEntry entries[] = {
//           MapEntry(Notify::Clicked, IDC_GO, &CMyDlg::OnClickedGo),
//       };
//       static const MessageMap map{&CDialog::ClassMessageMap(), entries};
//       return map;
//   }
#pragma once

#include <QDialog>
#include <QPoint>
#include <QRect>
#include <QString>
#include <concepts>
#include <span>
#include <vector>

#include "framework/dialog_template.h"

class QMenuBar;

namespace norvane {

// Dialog base units of "MS Shell Dlg" 8 pt at 96 dpi: one horizontal dialog unit is a quarter
// of the average character width, one vertical unit an eighth of the character height.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;

// Dialog units to pixels at a logical dpi, each of x, y, cx, cy rounded on its own as the
// dialog manager does.
QRect DialogUnitsToPixels(const DialogRect& rect, double dpi);

// What a control tells its dialog. The codes stand for BN_CLICKED (also menu and accelerator
// commands, and STN_CLICKED of a notify static), STN_DBLCLK, CBN_SELCHANGE and NM_CUSTOMDRAW.
enum class Notify { Clicked, DblClk, SelChange, CustomDraw };

class CDialog;
using MessageHandler = void (CDialog::*)();

struct MessageMapEntry {
    Notify code;
    int id;
    MessageHandler handler;
};

// One class's entries, searched in order, then its base class's map.
struct MessageMap {
    const MessageMap* base;
    std::span<const MessageMapEntry> entries;
};

template <class Dialog>
requires std::derived_from<Dialog, CDialog>
constexpr MessageMapEntry MapEntry(Notify code, int id, void (Dialog::*handler)()) {
    return MessageMapEntry{code, id, static_cast<MessageHandler>(handler)};
}

// A control of a dialog with its template row.
struct DialogControl {
    int id;
    QWidget* widget;
    const ControlTemplate* row;
};

class CDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CDialog(const DialogTemplate& dialogTemplate, QWidget* parent = nullptr);
    ~CDialog() override;

    // Creates the controls (once), binds the members, runs OnInitDialog, then runs the dialog
    // modally over the main window and returns the value given to EndDialog.
    int DoModal();
    // The first half of DoModal without the modal run: controls, binding, OnInitDialog.
    void Create();
    void EndDialog(int result) { done(result); }

    // Controls by ID. With several controls of one ID (IDC_STATIC), the first in template order.
    QWidget* item(int id) const;
    void setItemText(int id, const QString& text);
    QString itemText(int id) const;

    const DialogTemplate& dialogTemplate() const { return m_template; }
    QMenuBar* menuBar() const { return m_menuBar; }
    // The template rectangle in this dialog's pixels, relative to the client area.
    QRect MapDialogRect(const DialogRect& rect) const;

    // Runs the first handler for (code, id) in the class's map and its bases'; false when none.
    bool Dispatch(Notify code, int id);
    // A command as Enter, Esc or a menu item sends it.
    bool Command(int id) { return Dispatch(Notify::Clicked, id); }

    static const MessageMap& ClassMessageMap();

  protected:
    virtual const MessageMap& GetMessageMap() const { return ClassMessageMap(); }
    // Binds members to controls with DDX_Control; runs after the controls exist, before
    // OnInitDialog.
    virtual void DoDataExchange() {}
    // Returns true to put the focus on the first tab stop in template order.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    // Binds a wrapper (a class with `using Control = ...;` and `Attach(Control*)`).
    template <class Wrapper>
    requires requires(Wrapper& w, typename Wrapper::Control* c) { w.Attach(c); }
    void DDX_Control(int id, Wrapper& member) {
        member.Attach(ControlAs<typename Wrapper::Control>(id));
    }
    // Binds a plain widget pointer.
    template <class Widget>
    requires std::derived_from<Widget, QWidget>
    void DDX_Control(int id, Widget*& member) { member = ControlAs<Widget>(id); }

    void keyPressEvent(QKeyEvent* event) override;

  public:
    // QDialog's own paths (close box, QDialog::accept) go through the commands.
    void accept() override { Command(IDOK); }
    void reject() override { Command(IDCANCEL); }

  private:
    template <class Widget>
    Widget* ControlAs(int id) const {
        Widget* w = qobject_cast<Widget*>(item(id));
        if (w == nullptr) {
            BadBinding(id);
        }
        return w;
    }
    [[noreturn]] void BadBinding(int id) const;
    void BuildWindow();
    QWidget* BuildControl(const ControlTemplate& row);
    void Connect(QWidget* widget, const ControlTemplate& row);
    void FocusFirstTabStop();
    bool eventFilter(QObject* watched, QEvent* event) override;

    const DialogTemplate& m_template;
    std::vector<DialogControl> m_controls;
    QMenuBar* m_menuBar = nullptr;
    QPoint m_clientOrigin;
    double m_dpi = 96.0;
    bool m_created = false;
};

// The dialog item of a widget tree built by the framework (GetDlgItem for any parent).
QWidget* DialogItem(QWidget* parent, int id);
// The ID the framework gave a control, or 0 for a widget that is not a control.
int DialogItemId(const QWidget* control);

}  // namespace norvane
