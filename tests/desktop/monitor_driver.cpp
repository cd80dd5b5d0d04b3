// A manual driver, not a test: opens the NetMonitor window on a norvane-sim of its own for a while,
// optionally switches the SAR/PA report on, presses Capture and takes a screenshot of the whole
// screen, and prints the process's CPU time and memory.
//
//   monitor_driver [--seconds N] [--rate HZ] [--sar] [--capture] [--shoot FILE.png]
//
// Run it on an X display with a window manager for screenshots (xvfb-run with openbox), or with
// QT_QPA_PLATFORM=offscreen for the figures alone.
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "../gui/monitor_support.h"
#include "../sim/sim_process.h"
#include "framework/framework.h"
#include "monitor/monitor_window.h"

namespace {

// User plus system CPU time of this process, in seconds.
double CpuSeconds() {
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    const QByteArray line = stat.readAll();
    // Fields after the command name (which is in parentheses and may hold blanks).
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    // utime and stime are fields 14 and 15 of the line, 12 and 13 after the name.
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A line of /proc/self/status, e.g. VmRSS, in kB.
long StatusKb(const char* key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key)) {
            return line.mid(line.indexOf(':') + 1).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

// Runs the event loop for `ms`, idle unless there is work: the figures are the window's own.
void Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void Press(norvane::CComDlg& dlg, int id) {
    QTest::mouseClick(qobject_cast<QPushButton*>(dlg.item(id)), Qt::LeftButton);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 10;
    std::string rate = "1";
    bool sar = false;
    bool capture = false;
    QString shot;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::atof(argv[++i]);
        } else if (arg == "--rate" && i + 1 < argc) {
            rate = argv[++i];
        } else if (arg == "--sar") {
            sar = true;
        } else if (arg == "--capture") {
            capture = true;
        } else if (arg == "--shoot" && i + 1 < argc) {
            shot = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: %s [--seconds N] [--rate HZ] [--sar] [--capture] "
                         "[--shoot FILE.png]\n",
                         argv[0]);
            return 2;
        }
    }

    norvane::test::SimProcess sim({"--rate", rate});
    norvane::test::RuntimeDir env(
        QFileInfo(QString::fromStdString(sim.link())).path().toStdString());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("norvane"));
    norvane::InitFramework();
    norvane::InitResources();
    // Messages go to standard output, so the run never waits for a click.
    norvane::SetMessageBoxPresenter([](const norvane::MessageBoxCall& call) {
        std::printf("message [%s]: %s\n", call.caption.c_str(), call.text.c_str());
    });

    auto dlg = std::make_unique<norvane::CComDlg>();
    dlg->Create();
    dlg->show();
    Pause(2000);
    if (sar) {
        Press(*dlg, norvane::IDC_ON_SARPA);
    }
    const double cpu0 = CpuSeconds();
    QElapsedTimer wall;
    wall.start();
    Pause(static_cast<int>(seconds * 1000));
    const double cpu = CpuSeconds() - cpu0;
    const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;

    if (capture) {
        Press(*dlg, norvane::IDC_CAPTURE);
    }
    if (!shot.isEmpty()) {
        QProcess import;
        import.start(QStringLiteral("import"),
                     {QStringLiteral("-window"), QStringLiteral("root"), shot});
        norvane::test::WaitUntil([&] { return import.state() == QProcess::NotRunning; }, 20000);
        std::printf("screenshot %s: exit %d\n", qPrintable(shot), import.exitCode());
    }

    std::printf(
        "rate %s Hz, %.1f s: CPU %.2f s = %.2f %% of one core; VmRSS %ld kB, VmHWM %ld kB\n",
        rate.c_str(), elapsed, cpu, 100.0 * cpu / elapsed, StatusKb("VmRSS"), StatusKb("VmHWM"));
    std::printf("up-time line: %s\n", qPrintable(dlg->itemText(norvane::IDC_UPTIME)));
    const QRect g = dlg->geometry();
    const QRect f = dlg->windowHandle()->frameGeometry();
    std::printf("window %dx%d at %d,%d; frame %dx%d at %d,%d; logical dpi %.1f\n", g.width(),
                g.height(), g.x(), g.y(), f.width(), f.height(), f.x(), f.y(),
                dlg->screen()->logicalDotsPerInch());
    Press(*dlg, norvane::IDOK);
    dlg.reset();
    return 0;
}
