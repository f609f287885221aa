// Start-up and shutdown of Wordpop. Relies on the platform layer for the lock, the program
// folder and the message box, and on the hidden window for the settings and the activity timer.
#include "shell/Application.h"

#include "engine/DataSet.h"
#include "learning/MainForm.h"
#include "messages/Information.h"
#include "messages/LineInput.h"
#include "messages/Message.h"
#include "platform/Language.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/SingleInstance.h"
#include "shell/ActivityMonitor.h"
#include "shell/DownloadModule.h"
#include "shell/HiddenWindow.h"
#include "shell/TrayStartup.h"
#include "store/AddWord.h"
#include "store/Dictionaries.h"
#include "store/Edit.h"
#include "store/Topics.h"

#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstring>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// SIGTERM and SIGINT end Wordpop the way Quit in the tray does: through the event loop, so the
// shutdown order holds. The handler only writes to a socket; the loop does the rest.
int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &c, 1);
}

void installSignalHandlers(QObject *parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, parent);
    QObject::connect(notifier, &QSocketNotifier::activated, parent, [] {
        char c;
        [[maybe_unused]] ssize_t n = ::read(g_signalPipe[0], &c, 1);
        // Ended by the desktop (log-out, shutdown) or the terminal: the lesson's statistics are
        // kept as hiding the trainer keeps them, and nothing is re-armed afterwards.
        if (FWordpop)
            FWordpop->SaveBeforeEnd();
        QCoreApplication::exit(0);
    });
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
}

// Benchmarks and tools that start Wordpop learn when its event loop runs through the
// descriptor named by WORDPOP_READY_FD: one byte, then the descriptor is closed.
void reportReadyWhenLoopRuns()
{
    bool ok = false;
    const int fd = qEnvironmentVariableIntValue("WORDPOP_READY_FD", &ok);
    if (!ok || fd < 0)
        return;
    qunsetenv("WORDPOP_READY_FD");
    QTimer::singleShot(0, [fd] {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(fd, &c, 1);
        ::close(fd);
    });
}

void showException(const char *what)
{
    MessageBox::show(QString::fromLocal8Bit(what));
}

} // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        showException(e.what());
    } catch (...) {
        showException("Unknown exception");
    }
    return false;
}

int WordpopMain(int argc, char **argv)
{
    // Exactly "-r", nothing else: remove the autorun entry and touch nothing more.
    if (argc == 2 && std::strcmp(argv[1], "-r") == 0) {
        RemoveAutorunShortcut();
        return 0;
    }
    if (!SingleInstance::acquire(QStringLiteral("WordpopMutex")))
        return 0;

    QApplication::setQuitOnLastWindowClosed(false);
    TApplication app(argc, argv);
    // Before any window: a window made earlier would keep the source texts.
    Language::Install(Language::Current());
    try {
        const QString folder = ProgramFolder::resolve();
        ProgramFolder::fillFromData(folder, ProgramFolder::dataFolder());
        QApplication::setApplicationName(QStringLiteral("Wordpop"));
        QApplication::setApplicationDisplayName(QStringLiteral("Wordpop"));
        installSignalHandlers(&app);

        FNo = new TFNo;
        // The one cursor and the catalogue on it, before any window that shows words.
        TWords = new TDbfDataSet;
        TWords->SetExclusive(true);
        Topics = new TTopics(*TWords);
        FWordpop = new TFWordpop(FNo->Images(), *Topics);
        // exit(), not quit(): quit() first asks every window to close, and the trainer refuses
        // (closing it only hides it), which would cancel the quit.
        FWordpop->OnQuit = [] { QCoreApplication::exit(0); };
        FWordpop->RunDictionaries = [](TopicKinds &changed) {
            return RunDictionaries(FWordpop, *Topics, FNo->Images(), changed);
        };
        // The dictionaries window's "Редактировать" opens the editor.
        TDictionaryHooks::EditDictionary = EditDictionary;
        // The dictionaries window's "Загрузить словари с …" opens the download window.
        TDictionaryHooks::RunDownload = DownloadModule::Run;
        // The desktop's session management: its request for the user's data, and a quit it
        // starts (the tray's own Quit has set the quitting mark first, and saves nothing).
        QObject::connect(&app, &QGuiApplication::commitDataRequest, &app, [](QSessionManager &) {
            if (FWordpop)
                FWordpop->SaveForSession();
        });
        QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [] {
            if (FWordpop)
                FWordpop->SaveBeforeEnd();
        });
        // The tray icon and its menu, and the scheduling that ties the trainer's lessons to the
        // activity monitor (lesson start and end stop and restart the activity hooks).
        CreateTrayMenu();
        // The trainer's word windows: 1 back means its lesson must be formed again.
        FWordpop->RunAddWord = [] { return RunAddWord(FWordpop); };
        FWordpop->RunEditWord = [] { return RunEditWord(FWordpop); };
        FWordpop->UpdateControls();
        // The shared message and input-line windows are made when first asked for (AskQuestion,
        // AskLine): a start that shows neither spends no memory on them.
        // No lesson sound keeps playing while the editor is open.
        CloseTrainerSound = [] {
            if (FWordpop)
                FWordpop->Player().Close();
        };

        FNo->Activity()->loadLibrary();
        // Full-screen windows, inhibitors, "do not disturb": asked without waiting for answers.
        FNo->Activity()->holdBack().start();
        SetInformationFindings([] { return FNo ? FNo->Activity()->findings() : QString(); });

        // A folder that cannot be made ends the program once everything else has run.
        if (FWordpop->InitialLoad()) {
            reportReadyWhenLoopRuns();
            QApplication::exec();
        }

        FNo->Activity()->unloadLibrary();
    } catch (const std::exception &e) {
        showException(e.what());
    } catch (...) {
        showException("Unknown exception");
    }
    SetInformationFindings(nullptr);
    // Reverse order of creation.
    delete FMessage;
    FMessage = nullptr;
    delete FLineInput;
    FLineInput = nullptr;
    DestroyTrayMenu();
    DestroyProgramObjects();
    return 0;
}

void DestroyProgramObjects()
{
    delete FWordpop;
    FWordpop = nullptr;
    if (Topics)
        Topics->CloseDictionary();
    delete Topics;
    Topics = nullptr;
    delete TWords;
    TWords = nullptr;
    delete FNo;
    FNo = nullptr;
}
