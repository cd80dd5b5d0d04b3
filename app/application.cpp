#include "app/application.h"

#include <QFileInfo>
#include <chrono>
#include <cstdio>
#include <optional>

#include "app/run_recording.h"
#include "app/start_window.h"
#include "framework/framework.h"
#include "res/resource.h"

namespace norvane {
namespace {

// How long the program's exit waits for the sessions to end: longer than the longest start-up
// exchange with a modem that never answers (probe, item counts, two mask answers: 2.5 s).
constexpr std::chrono::milliseconds kSessionEndWait{5000};

// The id under which the desktop entry, the metainfo and the icons are installed.
constexpr char kDesktopId[] = NORVANE_DESKTOP_ID;

// Prints the verdict's text; returns the exit status, or nothing when the program runs.
std::optional<int> Answer(const CommandLineVerdict& verdict) {
    switch (verdict.action) {
        case CommandLineVerdict::Action::PrintAndExit:
            std::fputs(verdict.text.toLocal8Bit().constData(), stdout);
            return 0;
        case CommandLineVerdict::Action::Refuse:
            std::fputs(verdict.text.toLocal8Bit().constData(), stderr);
            return 2;
        case CommandLineVerdict::Action::Run:
            break;
    }
    return std::nullopt;
}

QString VersionText() {
    const int* v = kVersionInfo.productVersion;
    return QStringLiteral("%1.%2.%3.%4").arg(v[0]).arg(v[1]).arg(v[2]).arg(v[3]);
}

}  // namespace

QString TitleFromProgramPath(const QString& programPath) {
    const QString title = QFileInfo(programPath).completeBaseName();
    return title.isEmpty() ? QStringLiteral("norvane") : title;
}

CommandLineVerdict CheckCommandLine(const QStringList& arguments) {
    const QString program =
        arguments.isEmpty() ? QStringLiteral("norvane") : QFileInfo(arguments.first()).fileName();
    if (arguments.size() <= 1) {
        return {};
    }
    const QString first = arguments.at(1);
    if (arguments.size() == 2 &&
        (first == QLatin1String("--help") || first == QLatin1String("-h"))) {
        return {CommandLineVerdict::Action::PrintAndExit,
                QStringLiteral("Usage: %1\n"
                               "       %1 --record FILE\n"
                               "Norvane NetMonitor: live 3G and LTE cells of a modem's diagnostic "
                               "port,\nin the NetMonitor and the Radio window. The port is "
                               "chosen in each window.\n"
                               "\n"
                               "  --record FILE  record every monitoring session of this run into "
                               "FILE, one\n"
                               "                 after another: FILE.pcap keeps every checked "
                               "frame in both\n"
                               "                 directions as GSMTAP packets (Wireshark, "
                               "'norvane-cli decode',\n"
                               "                 'norvane-sim --replay'), the radio window's "
                               "too with its\n"
                               "                 positions; FILE.bin the bytes the NetMonitor "
                               "read from the port\n"
                               "  --version      show the version\n")
                    .arg(program),
                {}};
    }
    if (arguments.size() == 3 && first == QLatin1String("--record") && !arguments.at(2).isEmpty()) {
        return {CommandLineVerdict::Action::Run, QString(), arguments.at(2)};
    }
    if (arguments.size() == 2 && first == QLatin1String("--version")) {
        return {CommandLineVerdict::Action::PrintAndExit,
                QStringLiteral("%1 %2\n").arg(QString::fromLatin1(kVersionInfo.productName),
                                              VersionText()),
                {}};
    }
    if (first == QLatin1String("--record") && arguments.size() == 2) {
        return {CommandLineVerdict::Action::Refuse,
                QStringLiteral("%1: --record needs a FILE\nTry '%1 --help'.\n").arg(program),
                {}};
    }
    return {CommandLineVerdict::Action::Refuse,
            QStringLiteral("%1: takes no arguments (got '%2'); the port is chosen in the window\n"
                           "Try '%1 --help'.\n")
                .arg(program, first),
            {}};
}

bool DisplayAvailable(const QStringList& arguments) {
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (!qEnvironmentVariableIsEmpty(variable)) {
            return true;
        }
    }
    for (const char* option : {"-platform", "--platform", "-display", "--display"}) {
        if (arguments.contains(QLatin1String(option))) {
            return true;
        }
    }
    return false;
}

CTessalyApp::CTessalyApp(int& argc, char** argv) : m_argc(argc), m_argv(argv) {}

CTessalyApp::~CTessalyApp() = default;

void CTessalyApp::CreateApplication() {
    // The title is taken before Qt sees argv: it is the caption of the program's messages.
    const QString title =
        TitleFromProgramPath(m_argc > 0 ? QString::fromLocal8Bit(m_argv[0]) : QString());
    m_app = std::make_unique<QApplication>(m_argc, m_argv);
    QApplication::setApplicationName(title);
    QApplication::setApplicationVersion(VersionText());
    // Lets the desktop match the windows to the installed entry and its icon.
    QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopId));
}

int CTessalyApp::Run() {
    QStringList raw;
    for (int i = 0; i < m_argc; ++i) {
        raw << QString::fromLocal8Bit(m_argv[i]);
    }
    const CommandLineVerdict early = CheckCommandLine(raw);
    if (early.action == CommandLineVerdict::Action::PrintAndExit) {
        return *Answer(early);
    }
    if (!DisplayAvailable(raw)) {
        std::fputs(
            "norvane: no display to show the window on (DISPLAY is not set); on a text "
            "terminal, 'norvane-cli monitor' shows the cells\n",
            stderr);
        return 1;
    }
    // Qt takes its own options (-platform, -display, ...) out of argv; what is left is ours.
    CreateApplication();
    const CommandLineVerdict verdict = CheckCommandLine(QApplication::arguments());
    if (const std::optional<int> status = Answer(verdict)) {
        return *status;
    }
    m_recordPath = verdict.recordPath;
    InitInstance();
    return 0;
}

void RegisterResources() {
    InitResources();
    RegisterBitmap(IDB_START, BitmapPath(IDB_START));
}

bool CTessalyApp::InitInstance() {
    InitFramework();
    RegisterResources();
    QApplication::setWindowIcon(LoadIcon(IDR_MAINFRAME));
    if (!m_recordPath.isEmpty()) {
        // A capture that cannot be created is said in a message box; the program goes on.
        m_recording = RunRecording::Start(m_recordPath.toStdString());
    }
    CTessalyDlg startDlg;
    if (m_recording != nullptr) {
        startDlg.SetRecorders(m_recording->recorder(), m_recording->radioRecorder());
    }
    SetMainWindow(&startDlg);
    startDlg.DoModal();
    SetMainWindow(nullptr);
    // The windows still open go with the start window; their sessions end on their workers
    // (stop frames, threads, ports), which the program waits for, but not for ever.
    if (const int left = startDlg.CloseViews(kSessionEndWait); left > 0) {
        std::fprintf(stderr,
                     "norvane: %d modem session(s) did not end within %lld ms; leaving them\n",
                     left, static_cast<long long>(kSessionEndWait.count()));
    }
    return false;
}

}  // namespace norvane
