#include "app/start_window.h"

#include <QScreen>
#include <QUrl>
#include <algorithm>

#include "framework/framework.h"
#include "monitor/monitor_window.h"
#include "radio/radio_session.h"
#include "radio/radio_window.h"
#include "res/resource.h"

namespace norvane {

const MessageMap& CTessalyDlg::ClassMessageMap() {
    // OK and Cancel (Enter, Esc, the close box) stay the base dialog's: they end the window.
    static const MessageMapEntry entries[] = {
        MapEntry(Notify::Clicked, IDC_PICTURE, &CTessalyDlg::OnPictureClicked),
        MapEntry(Notify::Clicked, IDC_QUIT, &CTessalyDlg::OnQuit),
        MapEntry(Notify::Clicked, IDC_NETMONITOR, &CTessalyDlg::OnNetMonitor),
        MapEntry(Notify::Clicked, IDC_RADIO, &CTessalyDlg::OnRadio),
    };
    static const MessageMap map{&CDialog::ClassMessageMap(), entries};
    return map;
}

CTessalyDlg::CTessalyDlg(QWidget* parent)
    : CDialog(DialogResource(IDD_NORVANE_DIALOG), parent), m_icon(LoadIcon(IDR_MAINFRAME)) {
    // WS_EX_APPWINDOW: the program's own window with its own task bar entry, not a dialog
    // that the window manager keeps transient for another window.
    if ((dialogTemplate().exStyle & WS_EX_APPWINDOW) != 0) {
        setWindowFlags((windowFlags() & ~Qt::WindowType_Mask) | Qt::Window);
    }
}

CTessalyDlg::~CTessalyDlg() {
    // Both leave their sessions while the sessions are still there.
    delete m_monitor.data();
    delete m_radio.data();
}

CComDlg* CTessalyDlg::monitorWindow() const {
    return m_monitor.data();
}

RadioWindow* CTessalyDlg::radioWindow() const {
    return m_radio.data();
}

int CTessalyDlg::CloseViews(std::chrono::milliseconds limit) {
    for (QWidget* window :
         {static_cast<QWidget*>(m_monitor.data()), static_cast<QWidget*>(m_radio.data())}) {
        if (window != nullptr) {
            window->close();
        }
    }
    return m_sessions.WaitForWorkers(limit);
}

bool CTessalyDlg::OnInitDialog() {
    // One icon for the title bar and the task switcher; the window manager picks the size.
    setWindowIcon(m_icon);
    // The link shows the address as its status text; a click opens the homepage either way.
    // Control 102 is in the template, so binding cannot fail: its result is not looked at.
    m_homepageLink.BindToDialogItem(this, IDC_HOMEPAGE, LoadString(IDS_HOMEPAGE),
                                    QUrl(QString::fromLatin1(kHomepageUrl)));
    return true;  // focus on the first tab stop: "Quit"
}

void CTessalyDlg::OnPictureClicked() {
    MessageBeep();
    // As the link: a desktop without a browser reports it itself.
    OpenUrl(QUrl(QString::fromLatin1(kHomepageUrl)));
}

void CTessalyDlg::OnQuit() {
    EndDialog(0);
}

void CTessalyDlg::PlaceBeside(QWidget& window) const {
    // To the right of this window, else to its left, so that its buttons stay in reach; where the
    // screen has room for neither, at the screen's right edge (this window's Radio button is on
    // its left).
    const QScreen* shown = screen();
    if (shown == nullptr) {
        return;
    }
    const QRect room = shown->availableGeometry();
    const QRect here = frameGeometry();
    const int width = window.frameGeometry().width();
    const int x = here.right() + 1 + width <= room.right() + 1 ? here.right() + 1
                  : here.left() - width >= room.left()         ? here.left() - width
                                                               : room.right() + 1 - width;
    window.move(std::max(x, room.left()), std::max(room.top(), here.top()));
}

void CTessalyDlg::OnNetMonitor() {
    // Not modal, so that the radio window can be opened beside it; a fresh monitor for each
    // press once the last one has closed.
    if (m_monitor == nullptr || m_monitor->isHidden()) {  // hidden: ended, not yet deleted
        m_monitor = new CComDlg(this, &m_sessions);
        connect(m_monitor, &QDialog::finished, m_monitor, &QObject::deleteLater);
        m_monitor->monitoring().SetRecorder(m_recorder);
        m_monitor->Create();
        PlaceBeside(*m_monitor);
    }
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
}

void CTessalyDlg::OnRadio() {
    // Not modal: it stays open beside this window, which still ends the program.
    if (m_radio == nullptr || m_radio->isHidden()) {  // hidden: closed, not yet deleted
        // The window's seat in the sessions; the last window's has left with it.
        m_radioSession = std::make_unique<RadioSession>(&m_sessions);
        m_radioSession->SetRecorder(m_radioRecorder);
        m_radio = new RadioWindow(m_radioSession.get(), this);
        m_radio->setAttribute(Qt::WA_DeleteOnClose);
        m_radio->FollowGps("");  // gpsd on this machine, when there is one
    }
    m_radio->show();
    m_radio->raise();
    m_radio->activateWindow();
}

}  // namespace norvane
