// The download and progress windows, driven without showing them where they need not be: their
// controls, the steps and texts of a run, aborts from the button and from closing, error 11,
// the proxy from the settings, and a whole download through the window from a real server.
#include "PyFtpServer.h"
#include "ScriptedFtpServer.h"
#include "common/TestHome.h"
#include "download/Download.h"
#include "download/Progress.h"
#include "platform/Dialogs.h"
#include "platform/MessageBox.h"
#include "engine/DataSet.h"
#include "platform/ProgramFolder.h"
#include "settings/TOptions.h"
#include "store/Dictionaries.h"
#include "store/Topics.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

using Step = ScriptedFtpServer::Step;
using A = ScriptedFtpServer;

namespace {

ServerSettings local(quint16 port)
{
    ServerSettings s;
    s.Host = "127.0.0.1";
    s.Port = port;
    s.Password = "word@word1";
    return s;
}

struct CountingRunner {
    int calls = 0;
    DownloadOutcome operator()(const DownloadRequest &)
    {
        ++calls;
        return {};
    }
};

} // namespace

TEST(DownloadWindow, ControlsAndNoServer)
{
    TestHome home;
    home.writeFile("NEWS/wordpop.txt", "English;english.wrd;1500;120\r\nGerman;german.wrd;800;60\r\n");
    TFDownload w(ServerSettings{}, home.home());
    CountingRunner runner;
    w.Runner = std::ref(runner);
    w.LoadCatalogue(false);
    EXPECT_EQ(w.windowTitle(), "Доступные для загрузки словари");
    EXPECT_EQ(w.minimumSize(), QSize(350, 250));
    const std::pair<QPushButton *, const char *> buttons[] = {{w.BAll, "все"}, {w.BNothing, "ничего"},
        {w.BMShapedButton1, "Обновить список"}, {w.BDownload, "Загрузить"}, {w.BCancel, "Закрыть"}};
    for (const auto &[b, text] : buttons) {
        EXPECT_EQ(b->text(), QString::fromUtf8(text));
        EXPECT_EQ(b->accessibleName(), QString::fromUtf8(text));
    }
    EXPECT_EQ(w.BExplore->toolTip(), "Choose directory");
    EXPECT_EQ(w.BExplore->accessibleName(), "Choose directory");
    EXPECT_EQ(w.LSaveTo->text(), "Сохранить в:");
    EXPECT_FALSE(w.EDirName->accessibleName().isEmpty());
    EXPECT_FALSE(w.CLBTopics->accessibleName().isEmpty());
    EXPECT_EQ(w.EDirName->text(), home.home() + "BASE/ON/");
    // The catalogue on disk is listed; with no server the window says so and connects nowhere.
    ASSERT_EQ(w.CLBTopics->count(), 2);
    EXPECT_EQ(w.CLBTopics->item(0)->text(), "English       (words : 1500, size : 120 Kb)");
    EXPECT_FALSE(w.LNoServer->isHidden());
    EXPECT_TRUE(w.LNoServer->text().contains("wordpop-server.ini"));
    EXPECT_FALSE(w.BDownload->isEnabled());
    EXPECT_FALSE(w.BMShapedButton1->isEnabled());
    w.BAll->click();
    w.List().Load(true, std::ref(runner));
    w.BDownload->click();
    EXPECT_EQ(runner.calls, 0);
}

TEST(DownloadWindow, TicksFolderPickerAndEscape)
{
    TestHome home;
    home.writeFile("NEWS/wordpop.txt", "English;english.wrd;1500;120\nGerman;german.wrd;800;60\n");
    TFDownload w(local(21), home.home());
    CountingRunner runner;
    w.Runner = std::ref(runner);
    w.LoadCatalogue(false);
    EXPECT_EQ(runner.calls, 0) << "a catalogue on disk is not fetched";
    ASSERT_EQ(w.CLBTopics->count(), 2);
    EXPECT_TRUE(w.LNoServer->isHidden());

    // Nothing ticked: "Загрузить" does nothing.
    w.BDownload->click();
    EXPECT_EQ(runner.calls, 0);
    w.BAll->click();
    EXPECT_TRUE(w.List().Ticked(0) && w.List().Ticked(1));
    EXPECT_EQ(w.CLBTopics->item(1)->checkState(), Qt::Checked);
    w.BNothing->click();
    EXPECT_FALSE(w.List().Ticked(0) || w.List().Ticked(1));
    w.CLBTopics->item(1)->setCheckState(Qt::Checked);
    EXPECT_TRUE(w.List().Ticked(1));

    Dialogs::FileHook files;
    files.answer({home.root() + "/picked"});
    w.BExplore->click();
    ASSERT_EQ(files.shown().size(), 1);
    EXPECT_EQ(files.shown()[0].kind, Dialogs::FileDialogKind::PickFolder);
    EXPECT_EQ(files.shown()[0].start, home.home() + "BASE/ON/");
    EXPECT_EQ(w.EDirName->text(), home.root() + "/picked/");
    // Cancelled: the field stays.
    w.BExplore->click();
    EXPECT_EQ(w.EDirName->text(), home.root() + "/picked/");

    // Escape in the list or the folder field closes the window.
    for (QWidget *target : {static_cast<QWidget *>(w.CLBTopics), static_cast<QWidget *>(w.EDirName)}) {
        w.show();
        bool finished = false;
        const auto c = QObject::connect(&w, &QDialog::finished, [&] { finished = true; });
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(target, &esc);
        EXPECT_TRUE(finished) << target->objectName().toStdString();
        QObject::disconnect(c);
    }
}

// The steps, texts and bars of a run of two files, and the proxy taken from the settings.
TEST(ProgressWindow, StepsThroughAProxy)
{
    TestHome home;
    const QByteArray sized = "150 Opening (4 bytes)\r\n";
    ScriptedFtpServer proxy({{"", "220 Proxy\r\n"}, {"USER guest@ftp.example.org", "331 Pass\r\n"},
                             {"PASS word@word1", "230 In\r\n"}, {"CWD dictionaries", "250 Ok\r\n"},
                             {"TYPE I", "200 Ok\r\n"}, {"EPSV", "229 (|||%p|)\r\n"},
                             {"RETR a.wrd", sized, A::SendData, "aaaa", "226 Done\r\n"},
                             {"EPSV", "229 (|||%p|)\r\n"},
                             {"RETR b.wrd", sized, A::SendData, "bbbb", "226 Done\r\n"}, {"QUIT", "221 Bye\r\n"}});
    const TOptions saved = Options;
    Options.UseProxy = true;
    SetOptionText(Options.ProxyAddress, "127.0.0.1");
    Options.ProxyPort = proxy.port();
    ServerSettings server = local(21);
    server.Host = "ftp.example.org";
    TFProgress window(server);
    QStringList status1, status2;
    QList<int> bar1;
    QList<bool> terminate;
    bool findingSeen = false, downloadingSeen = false;
    TDownloadRun &run = window.Run();
    const auto render = run.OnChanged;
    run.OnChanged = [&] {
        render();
        if (status1.isEmpty() || status1.back() != window.LStatus1->text())
            status1 << window.LStatus1->text();
        if (status2.isEmpty() || status2.back() != window.LStatus2->text())
            status2 << window.LStatus2->text();
        bar1 << window.PBar1->value();
        terminate << !window.BTerminate->isHidden();
        findingSeen |= !window.ANIFind->isHidden() && window.ANIDownload->isHidden();
        downloadingSeen |= window.ANIFind->isHidden() && !window.ANIDownload->isHidden();
    };
    MessageBox::TestHook boxes;
    DownloadRequest request{{{"a.wrd", "a.wrd"}, {"b.wrd", "b.wrd"}}, home.home(), "dictionaries", 2};
    const DownloadOutcome out = window.Download(request);
    Options = saved;
    EXPECT_TRUE(out.complete) << boxes.texts().join("\n").toStdString();
    EXPECT_EQ(out.fetched, 2);
    EXPECT_TRUE(proxy.unexpected.isEmpty()) << proxy.unexpected.join(" | ").toStdString();
    EXPECT_EQ(home.readFile("a.wrd"), "aaaa");
    EXPECT_EQ(home.readFile("b.wrd"), "bbbb");
    EXPECT_EQ(status1, (QStringList{"Соединяемся с ftp.example.org", "Переходим в директорию dictionaries",
                                    "Загружается файл 2 ( 1/2 )", "Загружается файл 2 ( 2/2 )", "Завершение связи"}));
    EXPECT_EQ(status2, (QStringList{"Опеределяется IP-адрес ftp.example.org", "127.0.0.1", "Загружается файл a.wrd",
                                    "Загружается файл b.wrd"}));
    EXPECT_TRUE(findingSeen);
    EXPECT_TRUE(downloadingSeen);
    EXPECT_EQ(window.PBar1->value(), 1);
    EXPECT_EQ(window.PBar1->maximum(), 1);
    EXPECT_FALSE(terminate.back());
    EXPECT_TRUE(window.PBar2->toolTip().isEmpty());
    EXPECT_FALSE(window.isVisible());
}

// "Прервать", closing the window and Escape all end a wait at once, show no error, and leave
// the window alive until the run is done.
TEST(ProgressWindow, AbortWhileWaiting)
{
    for (int how = 0; how < 3; ++how) {
        SCOPED_TRACE(how);
        ScriptedFtpServer silent({{"", "", A::Silent}});
        TFProgress window(local(silent.port()));
        window.Run().Client().Limit.reply = 60000;
        bool stillThere = false;
        QTimer::singleShot(150, &window, [&] {
            stillThere = window.Run().Running();
            if (how == 0)
                window.BTerminate->click();
            else if (how == 1)
                window.close();
            else {
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&window, &esc);
            }
        });
        MessageBox::TestHook boxes;
        QElapsedTimer clock;
        clock.start();
        const DownloadOutcome out = window.Download({{{"a.wrd", "a.wrd"}}, "/nonexistent/", "dictionaries", 2});
        EXPECT_FALSE(out.complete);
        EXPECT_TRUE(stillThere);
        EXPECT_LT(clock.elapsed(), 20000);
        EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("\n").toStdString();
        EXPECT_TRUE(window.Run().Aborted());
    }
}

TEST(ProgressWindow, UnresolvableNameIsError11Once)
{
    const TOptions saved = Options;
    for (bool viaProxy : {false, true}) {
        ServerSettings server = local(21);
        server.Host = "no-such-server.invalid";
        Options.UseProxy = viaProxy;
        SetOptionText(Options.ProxyAddress, "no-such-proxy.invalid");
        Options.ProxyPort = 3128;
        TDownloadRun run(server);
        MessageBox::TestHook boxes;
        const DownloadOutcome out = run.Run({{{"a.wrd", "a.wrd"}}, "/tmp/", "dictionaries", 2});
        EXPECT_FALSE(out.complete);
        EXPECT_EQ(boxes.texts(), QStringList{QString("Не удается разрешить имя узла ")
                                             + (viaProxy ? "no-such-proxy.invalid" : "no-such-server.invalid")});
    }
    Options = saved;
}

// The whole road through the window and its progress window, from a real server.
TEST(DownloadWindow, DownloadThroughTheWindow)
{
    TestHome home;
    QTemporaryDir root;
    {
        QDir().mkpath(root.path() + "/dictionaries");
        QFile c(root.path() + "/wordpop.txt");
        ASSERT_TRUE(c.open(QIODevice::WriteOnly));
        c.write("One;one.wrd;1;1\nTwo;two.wrd;1;1\n");
        QFile d(root.path() + "/dictionaries/two.wrd");
        ASSERT_TRUE(d.open(QIODevice::WriteOnly));
        d.write(QByteArray(40000, '\xE9'));
    }
    PyFtpServer ftp(root.path(), "guest", "word@word1");
    REQUIRE_FTP_SERVER(ftp);
    QDir().mkpath(home.home() + "BASE/ON");
    TFDownload w(local(quint16(ftp.port())), home.home());
    MessageBox::TestHook boxes;
    w.LoadCatalogue(false);
    ASSERT_EQ(w.CLBTopics->count(), 2) << boxes.texts().join("\n").toStdString();
    w.show();
    w.CLBTopics->item(1)->setCheckState(Qt::Checked);
    w.BDownload->click();
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("\n").toStdString();
    EXPECT_EQ(home.readFile("BASE/ON/two.wrd"), QByteArray(40000, '\xE9'));
    EXPECT_TRUE(w.List().FetchedAny());
    EXPECT_TRUE(w.isVisible()) << "the window stays open for further downloads";
    w.BCancel->click();
    EXPECT_FALSE(w.isVisible());
}

// Quitting the program during a wait ends the run as an abort, with no error shown.
TEST(ProgressWindow, QuittingDuringAWait)
{
    ScriptedFtpServer silent({{"", "", A::Silent}});
    TFProgress window(local(silent.port()));
    window.Run().Client().Limit.reply = 60000;
    MessageBox::TestHook boxes;
    DownloadOutcome out;
    out.complete = true;
    QTimer::singleShot(0, [&] { out = window.Download({{{"a.wrd", "a.wrd"}}, "/nonexistent/", "dictionaries", 2}); });
    QTimer::singleShot(150, [] { QCoreApplication::exit(0); });
    QElapsedTimer clock;
    clock.start();
    QCoreApplication::exec();
    EXPECT_FALSE(out.complete);
    EXPECT_LT(clock.elapsed(), 20000);
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("\n").toStdString();
    EXPECT_FALSE(window.Run().Running());
}

// The dictionaries window's download button, hooked up as start-up does it: the download
// window opens over it, fetches a ticked dictionary from a real server, and the dictionaries
// window lists it and reports the change.
TEST(DownloadWindow, FromTheDictionariesWindow)
{
    TestHome home;
    QTemporaryDir root;
    {
        QDir().mkpath(root.path() + "/dictionaries");
        QFile c(root.path() + "/wordpop.txt");
        ASSERT_TRUE(c.open(QIODevice::WriteOnly));
        c.write("Fresh;fresh.wrd;1;1\n");
        QFile d(root.path() + "/dictionaries/fresh.wrd");
        ASSERT_TRUE(d.open(QIODevice::WriteOnly));
        d.write("not a table, but a file all the same");
    }
    PyFtpServer ftp(root.path(), "guest", "word@word1");
    REQUIRE_FTP_SERVER(ftp);
    home.writeFile("wordpop-server.ini", QString("[Server]\nHost=127.0.0.1\nPort=%1\nPassword=word@word1\n")
                                             .arg(ftp.port()).toUtf8());
    ProgramFolder::set(home.home());
    for (const char *f : {"BASE/ON", "BASE/OFF", "BASE/LEARNED", "BASE/LEARNEDOFF"})
        QDir().mkpath(home.home() + f);
    TDbfDataSet words;
    words.SetExclusive(true);
    TTopics topics(words);
    TDictionaryHooks::RunDownload = [](QWidget *parent) { return RunDownload(parent); };

    // Drives the download window once it is up: tick, download, close.
    bool driven = false;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *window = qobject_cast<TFDownload *>(w);
            if (!window || !window->isVisible() || driven || window->CLBTopics->count() == 0)
                continue;
            driven = true;
            window->CLBTopics->item(0)->setCheckState(Qt::Checked);
            window->BDownload->click();
            window->BCancel->click();
        }
    });
    driver.start(50);
    QTimer::singleShot(60000, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *window = qobject_cast<TFDownload *>(w))
                window->reject();
    });
    MessageBox::TestHook boxes;
    TDictionariesLogic logic(topics);
    logic.FillLists();
    ASSERT_TRUE(logic.CanDownload());
    logic.Download();
    driver.stop();
    TDictionaryHooks::RunDownload = nullptr;
    EXPECT_TRUE(driven);
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join("\n").toStdString();
    EXPECT_EQ(home.readFile("BASE/ON/fresh.wrd"), "not a table, but a file all the same");
    EXPECT_TRUE(logic.Modified());
    QStringList listed;
    for (const TDictionariesLogic::Entry &e : logic.Entries(TDictionariesLogic::ListOn))
        listed << e.name;
    EXPECT_EQ(listed, QStringList{"fresh"});
}
