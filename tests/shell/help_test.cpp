// F1 in every window of the program: the information window opens beside it, and its help
// button, or F1 pressed there, opens the help of the interface's language at that window's
// section. The run with WORDPOP_LANG=en (registered in extra.cmake) checks the English help.
#include "download/Download.h"
#include "download/Progress.h"
#include "learning/MainForm.h"
#include "messages/Information.h"
#include "messages/LineInput.h"
#include "messages/Message.h"
#include "platform/Images.h"
#include "platform/Language.h"
#include "platform/ProgramFolder.h"
#include "platform/ServerSite.h"
#include "settings/Options.h"
#include "settings/TOptions.h"
#include "shell/TrayMenu.h"
#include "store/AddWord.h"
#include "store/Dictionaries.h"
#include "store/Duplicates.h"
#include "store/Edit.h"
#include "store/Topics.h"
#include "store/Working.h"

#include "common/TestHome.h"
#include "common/UrlCatcher.h"
#include "LessonStandIn.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QTableView>
#include <QTableWidget>
#include <QLineEdit>
#include <QCheckBox>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Answers every information window that opens: asks for the help once with the button and once
// with F1 (alternating, first press first), then closes it. Records where each one stood.
class InformationAnswerer {
public:
    InformationAnswerer()
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            auto *info = qobject_cast<TFInformation *>(QApplication::activeModalWidget());
            if (!info || info == m_last)
                return;
            m_last = info;
            callers.append(info->parentWidget());
            if (callers.size() % 2)
                info->BHelp->click();
            else
                QTest::keyClick(info, Qt::Key_F1);
            info->done(QDialog::Accepted);
        });
        m_timer.start(5);
    }
    QList<QWidget *> callers;

private:
    QTimer m_timer;
    QPointer<TFInformation> m_last;
};

// The window's F1 while a shared modal window runs: closed once F1 has been handled.
void pressF1WhileRunning(QDialog *dialog, const std::function<void()> &run)
{
    QTimer::singleShot(0, dialog, [dialog] {
        QTest::keyClick(dialog, Qt::Key_F1);
        QTest::keyClick(dialog, Qt::Key_F1);
        dialog->reject();
    });
    run();
}

class HelpKeys : public ::testing::Test {
protected:
    TestHome home;
    TDbfDataSet words;
    std::unique_ptr<TTopics> topics;
    TImageList images;

    void SetUp() override
    {
        ProgramFolder::set(home.home());
        for (const char *f : {"BASE/ON", "BASE/LEARNED", "BASE/OFF", "BASE/LEARNEDOFF", "TEMP", "NEWS", "SOUND"})
            QDir().mkpath(home.home() + f);
        // The help as shipped, copied the way a start copies it.
        ProgramFolder::fillFromData(home.home(), QStringLiteral(WORDPOP_SOURCE_DIR "/data/"));
        SetDefaultOptions(Options);
        words.SetExclusive(true);
        topics = std::make_unique<TTopics>(words);
        TWords = &words;
        Topics = topics.get();
    }
    void TearDown() override
    {
        topics->CloseDictionary();
        TWords = nullptr;
        Topics = nullptr;
        topics.reset();
        ProgramFolder::set(QString());
    }
};

struct WindowCase {
    const char *window;
    const char *section;
    // Makes the window, presses F1 in it twice and tells which window that was.
    std::function<void(std::function<void(QWidget *)>)> run;
};

// F1 twice on a shown window, from the given control inside it. The window is shown and made
// active before each press, as the desktop does when the information window closes (the tray
// menu has closed itself meanwhile, and is opened again).
void pressIn(QWidget *window, QWidget *control)
{
    for (int i = 0; i < 2; ++i) {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
        QTest::keyClick(control, Qt::Key_F1);
    }
}

TEST_F(HelpKeys, EveryWindowLeadsToItsSection)
{
    const bool english = Language::IsEnglish();
    // Both runs are set up with WORDPOP_LANG (Russian by default, English in extra.cmake).
    EXPECT_EQ(english, qgetenv("WORDPOP_LANG") == "en");
    const QString file = home.home() + (english ? "wordpop.en.html" : "wordpop.html");
    QFile help(file);
    ASSERT_TRUE(help.open(QIODevice::ReadOnly)) << file.toStdString();
    const QString html = QString::fromUtf8(help.readAll());

    LessonStandIn lesson;
    const ServerSettings noServer;
    const std::vector<WindowCase> cases = {
        {"trainer", "lesson", [this](auto asked) {
             TFWordpop w(images, *topics);
             QTest::keyClick(w.LAWords, Qt::Key_F1);
             QTest::keyClick(w.LAWords, Qt::Key_F1);
             asked(&w);
         }},
        {"tray menu", "tray", [&lesson](auto asked) {
             TFTrayMenu w(lesson);
             pressIn(&w, w.CBAutoShow);
             asked(&w);
         }},
        {"options, first page", "settings-method", [this](auto asked) {
             TFOptions w(nullptr, &images);
             pressIn(&w, w.PCOptions);
             asked(&w);
         }},
        {"options, page of the proxy", "settings-other", [this](auto asked) {
             TFOptions w(nullptr, &images);
             w.PCOptions->setCurrentIndex(w.PCOptions->count() - 1);
             pressIn(&w, w.EProxyAddress);
             asked(&w);
         }},
        {"dictionaries", "dictionaries", [this](auto asked) {
             TFDictionaries w(*topics, images);
             pressIn(&w, w.CLBOn);
             asked(&w);
         }},
        {"editor", "editor", [this](auto asked) {
             TFEdit w(*topics);
             pressIn(&w, w.GWords);
             asked(&w);
         }},
        {"add word", "addword", [this](auto asked) {
             TFAddWord w(*topics, nullptr);
             pressIn(&w, &w);
             asked(&w);
         }},
        {"duplicates", "duplicates", [](auto asked) {
             TFDuplicates w(nullptr, "apple", "яблоко", {{1, "apple", "яблоня"}});
             pressIn(&w, w.GDuplicates);
             asked(&w);
         }},
        {"import progress", "import", [](auto asked) {
             TFWorking w;
             pressIn(&w, &w);
             asked(&w);
         }},
        {"download", "download", [this, &noServer](auto asked) {
             TFDownload w(noServer, home.home());
             pressIn(&w, &w);
             asked(&w);
         }},
        {"download progress", "download-progress", [&noServer](auto asked) {
             TFProgress w(noServer);
             pressIn(&w, &w);
             asked(&w);
         }},
        {"message", "messages", [](auto asked) {
             TFMessage w;
             pressF1WhileRunning(&w, [&w] { w.AskQuestion("Вопрос", "Удалить?", TFMessage::Warning, TFMessage::Question); });
             asked(&w);
         }},
        {"line input", "line-input", [](auto asked) {
             TFLineInput w;
             QString text;
             pressF1WhileRunning(&w, [&w, &text] { w.AskLine(nullptr, text, "Имя"); });
             asked(&w);
         }},
    };

    for (const WindowCase &c : cases) {
        SCOPED_TRACE(c.window);
        UrlCatcher catcher;
        InformationAnswerer answerer;
        QWidget *window = nullptr;
        c.run([&window](QWidget *w) { window = w; });

        EXPECT_EQ(answerer.callers.size(), 2) << "F1 twice, an information window each time";
        for (QWidget *caller : answerer.callers)
            EXPECT_EQ(caller, window) << "the information window belongs to the window that asked";
        EXPECT_EQ(catcher.urls.size(), answerer.callers.size()) << "its help button and its F1 both open the help";
        QUrl want = QUrl::fromLocalFile(file);
        want.setFragment(c.section);
        for (const QUrl &url : catcher.urls)
            EXPECT_EQ(url, want) << url.toString().toStdString();
        EXPECT_TRUE(html.contains(QStringLiteral("id=\"%1\"").arg(c.section)))
            << c.section << " is missing from " << file.toStdString();
    }
}

} // namespace

