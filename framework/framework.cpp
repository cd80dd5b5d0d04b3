#include "framework/framework.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFont>
#include <QPointer>
#include <QStyleFactory>
#include <QWidget>
#include <map>
#include <utility>

namespace norvane {
namespace {

// The services belong to the running QApplication: created with the first use, destroyed
// with the application object, never shared between two of them.
class Services : public QObject {
  public:
    explicit Services(QObject* app) : QObject(app) { setObjectName(kName); }
    static constexpr const char* kName = "norvane-framework-services";

    QPointer<QWidget> mainWindow;
    QString statusMessage;
    Beeper beeper;
    UrlOpener urlOpener;
    std::map<int, QString> bitmaps;
};

Services& State() {
    QCoreApplication* app = QCoreApplication::instance();
    Q_ASSERT(app != nullptr);  // the framework serves windows: a QApplication exists
    if (QObject* found =
            app->findChild<QObject*>(QLatin1String(Services::kName), Qt::FindDirectChildrenOnly)) {
        return *static_cast<Services*>(found);
    }
    return *new Services(app);
}

}  // namespace

void InitFramework() {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont::insertSubstitution(QStringLiteral("MS Shell Dlg"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("MS Shell Dlg 2"), QStringLiteral("Liberation Sans"));
}

void RegisterBitmap(int id, const QString& path) {
    State().bitmaps[id] = path;
}

QString BitmapResource(int id) {
    const auto found = State().bitmaps.find(id);
    return found != State().bitmaps.end() ? found->second : QString();
}

void SetMainWindow(QWidget* window) {
    State().mainWindow = window;
}

QWidget* MainWindow() {
    return State().mainWindow.data();
}

QString IdleMessage() {
    return QStringLiteral("Ready");
}

void SetMessageText(const QString& text) {
    State().statusMessage = text;
}

QString StatusMessage() {
    return State().statusMessage;
}

void MessageBeep() {
    if (State().beeper) {
        State().beeper();
        return;
    }
    QApplication::beep();
}

Beeper SetBeeper(Beeper beeper) {
    return std::exchange(State().beeper, std::move(beeper));
}

bool OpenUrl(const QUrl& url) {
    if (State().urlOpener) {
        return State().urlOpener(url);
    }
    return QDesktopServices::openUrl(url);
}

UrlOpener SetUrlOpener(UrlOpener opener) {
    return std::exchange(State().urlOpener, std::move(opener));
}

}  // namespace norvane
