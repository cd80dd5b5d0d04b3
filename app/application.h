// The application object: owns the QApplication, runs the start window and ends the program
// when it closes. There is no event loop outside the modal windows.
#pragma once

#include <QApplication>
#include <QString>
#include <QStringList>
#include <memory>

namespace norvane {

class RunRecording;

// The application title: the program file's name without its extension ("norvane").
QString TitleFromProgramPath(const QString& programPath);

// What to do with the command line left after Qt took its own options (-platform, -display,
// ...). The program takes --record FILE; --help and --version are answered, anything else is
// refused.
struct CommandLineVerdict {
    enum class Action { Run, PrintAndExit, Refuse } action = Action::Run;
    QString text;        // for PrintAndExit (standard output) and Refuse (standard error)
    QString recordPath;  // for Run: the capture of every monitoring session, or empty
};
CommandLineVerdict CheckCommandLine(const QStringList& arguments);

// Whether Qt has somewhere to show windows: an X or Wayland display, or a platform named in
// QT_QPA_PLATFORM, or -platform / -display on the command line. Without one Qt would abort; the
// program says so instead.
bool DisplayAvailable(const QStringList& arguments);

// The program's resources for the dialog framework: the compiled-in images and the start
// picture that template 102 names. Call after InitFramework.
void RegisterResources();

class CTessalyApp {
  public:
    CTessalyApp(int& argc, char** argv);
    ~CTessalyApp();
    CTessalyApp(const CTessalyApp&) = delete;
    CTessalyApp& operator=(const CTessalyApp&) = delete;

    // The command line, start-up, the start window, modal; returns the process's exit status.
    // --help and --version are answered before Qt starts, so they need no display.
    int Run();

  private:
    void CreateApplication();
    // Start-up and the start window's modal run. Returns false: the program then ends.
    bool InitInstance();

    int& m_argc;
    char** m_argv;
    std::unique_ptr<QApplication> m_app;
    QString m_recordPath;
    // After the application: its timer goes before the application does.
    std::unique_ptr<RunRecording> m_recording;
};

}  // namespace norvane
