// The shared message and input-line windows and the information window, driven with real key
// events and clicks while they run modally. A watchdog closes a window a test forgot, so a
// broken key rule fails the test instead of hanging it.
#include "messages/Information.h"
#include "messages/LineInput.h"
#include "messages/Message.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "common/TestHome.h"
#include "common/UrlCatcher.h"

#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// Runs `act` once the next modal window is up. Until the returned guard goes, a watchdog closes
// whatever modal window is still open after a while.
std::unique_ptr<QTimer> whenShown(std::function<void()> act)
{
    QTimer::singleShot(0, qApp, std::move(act));
    auto watchdog = std::make_unique<QTimer>();
    watchdog->setSingleShot(true);
    QObject::connect(watchdog.get(), &QTimer::timeout, [] {
        if (auto *d = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            d->done(-1);
    });
    watchdog->start(5000);
    return watchdog;
}

struct KeyCase {
    const char *name;
    int buttons;
    Qt::Key key;
    Qt::KeyboardModifiers mods;
    bool toButton;      // sent to a button rather than to the window
    int expected;       // -1: the key does nothing, the window stays open
};

class MessageKeys : public ::testing::TestWithParam<KeyCase> {};

TEST_P(MessageKeys, KeyGivesResult)
{
    const KeyCase c = GetParam();
    TFMessage msg;
    bool stillOpen = false;
    auto guard = whenShown([&] {
        QWidget *target = c.toButton ? static_cast<QWidget *>(c.buttons == 0 ? msg.BNo : msg.BOk)
                                     : static_cast<QWidget *>(&msg);
        if (c.key >= 0x400 && c.key < 0x500) {
            // QTest types only Latin keys; a Russian layout sends the Cyrillic letter.
            QKeyEvent press(QEvent::KeyPress, c.key, c.mods, QString(QChar(c.key).toLower()));
            QApplication::sendEvent(target, &press);
        } else {
            QTest::keyClick(target, c.key, c.mods);
        }
        stillOpen = msg.isVisible();
        if (stillOpen)
            msg.BCancel->isVisible() ? msg.BCancel->click() : msg.BOk->click();
    });
    const int result = msg.AskQuestion("Caption", "Text", 0, c.buttons);
    if (c.expected == -1) {
        EXPECT_TRUE(stillOpen);
        EXPECT_EQ(result, TFMessage::Cancel);
    } else {
        EXPECT_FALSE(stillOpen);
        EXPECT_EQ(result, c.expected);
    }
}

const KeyCase keyCases[] = {
    {"QuestionReturn", 0, Qt::Key_Return, Qt::NoModifier, false, 6},
    {"QuestionEnterOnNoButton", 0, Qt::Key_Enter, Qt::NoModifier, true, 6},
    {"QuestionY", 0, Qt::Key_Y, Qt::NoModifier, false, 6},
    {"QuestionShiftY", 0, Qt::Key_Y, Qt::ShiftModifier, true, 6},
    {"QuestionN", 0, Qt::Key_N, Qt::NoModifier, false, 7},
    {"QuestionShiftNOnButton", 0, Qt::Key_N, Qt::ShiftModifier, true, 7},
    {"QuestionEscape", 0, Qt::Key_Escape, Qt::NoModifier, true, 2},
    {"QuestionC", 0, Qt::Key_C, Qt::NoModifier, false, 2},
    {"QuestionRussianLayoutN", 0, Qt::Key(0x0422), Qt::NoModifier, false, 7},   // the n key gives "т"
    {"QuestionOtherLetter", 0, Qt::Key_X, Qt::NoModifier, true, -1},
    {"QuestionDigit", 0, Qt::Key_1, Qt::NoModifier, false, -1},
    {"NoticeReturn", 1, Qt::Key_Return, Qt::NoModifier, true, 2},
    {"NoticeEscape", 1, Qt::Key_Escape, Qt::NoModifier, false, 2},
    {"NoticeN", 1, Qt::Key_N, Qt::NoModifier, true, -1},
    {"NoticeY", 1, Qt::Key_Y, Qt::NoModifier, false, -1},
};

INSTANTIATE_TEST_SUITE_P(Keys, MessageKeys, ::testing::ValuesIn(keyCases),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Message, ButtonsGiveTheirResults)
{
    struct { int buttons; QPushButton *TFMessage::*button; int expected; } cases[] = {
        {0, &TFMessage::BYes, 6}, {0, &TFMessage::BNo, 7}, {0, &TFMessage::BCancel, 2}, {1, &TFMessage::BOk, 2},
    };
    TFMessage msg;
    for (const auto &c : cases) {
        auto guard = whenShown([&] { (msg.*c.button)->click(); });
        EXPECT_EQ(msg.AskQuestion("Caption", "Text", 0, c.buttons), c.expected);
    }
}

// The style's icons are put on the buttons as they are first shown (not when the window is
// made, which would load the image plugins at every start); what is shown carries them.
TEST(Message, ShownButtonsCarryTheStylesIcons)
{
    auto same = [](const QIcon &a, const QIcon &b) {
        return !a.isNull() && a.pixmap(16, 16).toImage() == b.pixmap(16, 16).toImage();
    };
    struct { int buttons; QPushButton *TFMessage::*button; QStyle::StandardPixmap icon; } cases[] = {
        {0, &TFMessage::BYes, QStyle::SP_DialogYesButton}, {0, &TFMessage::BNo, QStyle::SP_DialogNoButton},
        {0, &TFMessage::BCancel, QStyle::SP_DialogCancelButton}, {1, &TFMessage::BOk, QStyle::SP_DialogOkButton},
    };
    TFMessage msg;
    for (const auto &c : cases) {
        bool carries = false;
        auto guard = whenShown([&] {
            QPushButton *b = msg.*c.button;
            carries = b->isVisible() && same(b->icon(), b->style()->standardIcon(c.icon, nullptr, b));
            msg.close();
        });
        msg.AskQuestion("Caption", "Text", 0, c.buttons);
        EXPECT_TRUE(carries) << (msg.*c.button)->objectName().toStdString();
    }

    TFLineInput line;
    bool carry = false;
    auto guard = whenShown([&] {
        carry = same(line.BOk->icon(), line.style()->standardIcon(QStyle::SP_DialogOkButton, nullptr, line.BOk))
             && same(line.BCancel->icon(), line.style()->standardIcon(QStyle::SP_DialogCancelButton, nullptr, line.BCancel));
        line.BCancel->click();
    });
    QString text;
    line.AskLine(nullptr, text, "Prompt");
    EXPECT_TRUE(carry);
}

TEST(Message, PictureAndButtonsKeepTheirLastValidValue)
{
    TFMessage msg;
    TFMessage::TestHook hook;
    struct { int picture, buttons; bool red, notice; } steps[] = {
        {1, 1, true, true},     // error notice
        {7, -1, true, true},    // nothing valid: as before
        {0, 9, false, true},    // yellow, still the notice bar
        {2, 0, false, false},   // still yellow, the question bar
    };
    for (const auto &s : steps) {
        msg.AskQuestion("Caption", "Text", s.picture, s.buttons);
        EXPECT_EQ(msg.PError->isVisibleTo(&msg), s.red);
        EXPECT_EQ(msg.PWarning->isVisibleTo(&msg), !s.red);
        EXPECT_EQ(msg.PNoticeBar->isVisibleTo(&msg), s.notice);
        EXPECT_EQ(msg.PQuestionBar->isVisibleTo(&msg), !s.notice);
        EXPECT_EQ(msg.ButtonSet(), s.notice ? 1 : 0);
    }
}

TEST(Message, ShowsCaptionAndTextAndClosingIsCancel)
{
    TFMessage msg;
    QString caption, text;
    auto guard = whenShown([&] {
        caption = msg.windowTitle();
        text = msg.LText->text();
        msg.close();
    });
    EXPECT_EQ(msg.AskQuestion("Предупреждение", "Вы хотите сохранить изменения?", 0, 0), 2);
    EXPECT_EQ(caption, "Предупреждение");
    EXPECT_EQ(text, "Вы хотите сохранить изменения?");
    EXPECT_EQ(msg.size(), QSize(336, 102));

    // A Windows line break shows as one new line.
    TFMessage::TestHook hook;
    msg.AskQuestion("Error", "Can't create file \r\nBASE/LEARNED/Verbs", 1, 1);
    EXPECT_EQ(msg.LText->text(), "Can't create file \nBASE/LEARNED/Verbs");
    EXPECT_EQ(hook.shown()[0].text, "Can't create file \r\nBASE/LEARNED/Verbs");
}

TEST(Message, OpensWhereItWasLastShown)
{
    TFMessage msg;
    auto guard = whenShown([&] {
        msg.windowHandle()->setFramePosition(QPoint(150, 90));    // as the user drags it
        EXPECT_TRUE(QTest::qWaitFor([&] { return msg.frameGeometry().topLeft() == QPoint(150, 90); }, 2000));
        msg.BOk->click();
    });
    msg.AskQuestion("c", "first", 0, 1);
    QPoint second;
    auto guard2 = whenShown([&] {
        second = msg.frameGeometry().topLeft();
        msg.BOk->click();
    });
    msg.AskQuestion("c", "second", 0, 1);
    EXPECT_EQ(second, QPoint(150, 90));
}

TEST(Message, TestHookRecordsAndAnswersInOrder)
{
    TFMessage::TestHook outer;
    {
        TFMessage::TestHook hook;
        hook.answer(TFMessage::No);
        hook.answer(TFMessage::Yes);
        EXPECT_EQ(AskQuestion("Error", "Can't move\n a.wrd", 1, 1), 7);
        EXPECT_EQ(AskQuestion("Q", "second", 0, 0), 6);
        EXPECT_EQ(AskQuestion("Q", "third", 0, 0), 2);     // nothing queued: as Esc
        ASSERT_EQ(hook.shown().size(), 3);
        EXPECT_EQ(hook.shown()[0].caption, "Error");
        EXPECT_EQ(hook.shown()[0].text, "Can't move\n a.wrd");
        EXPECT_EQ(hook.shown()[0].picture, 1);
        EXPECT_EQ(hook.shown()[0].buttons, 1);
        EXPECT_FALSE(FMessage->isVisible());
    }
    EXPECT_TRUE(outer.shown().isEmpty());
    EXPECT_EQ(TFMessage::TestHook::current(), &outer);
}

TEST(Message, MessageLogAnswersWithoutShowing)
{
    TestHome home;
    const QString log = home.root() + "/messages.log";
    qputenv("WORDPOP_MESSAGE_LOG", log.toUtf8());
    TFMessage msg;
    TFLineInput line;
    QString text = "keep";
    const int result = msg.AskQuestion("Warning", "Can't open file/x/ok.wav", 0, 1);
    const bool accepted = line.AskLine(nullptr, text, "Password");
    qunsetenv("WORDPOP_MESSAGE_LOG");
    EXPECT_EQ(result, 2);
    EXPECT_FALSE(accepted);
    EXPECT_EQ(text, "keep");
    QFile f(log);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()), "Can't open file/x/ok.wav\nPassword\n");
}

TEST(LineInput, EnterOnEmptyLineDoesNothingButOkAcceptsIt)
{
    TFLineInput line;
    QString text;
    bool openAfterEnter = false;
    auto guard = whenShown([&] {
        QTest::keyClick(line.EText, Qt::Key_Return);
        openAfterEnter = line.isVisible();
        line.BOk->click();
    });
    text = "";
    EXPECT_TRUE(line.AskLine(nullptr, text, "Поиск по словарю"));
    EXPECT_TRUE(openAfterEnter);
    EXPECT_EQ(text, "");
}

TEST(LineInput, TypingReplacesTheSelectedTextAndEnterAccepts)
{
    TFLineInput line;
    QString text = "Новый словарь";
    QString selected, caption;
    auto guard = whenShown([&] {
        selected = line.EText->selectedText();
        caption = line.windowTitle();
        QTest::keyClicks(line.EText, "Verbs");
        QTest::keyClick(line.EText, Qt::Key_Enter);
    });
    EXPECT_TRUE(line.AskLine(nullptr, text, "Пожалуйта, введите имя нового словаря"));
    EXPECT_EQ(selected, "Новый словарь");
    EXPECT_EQ(caption, "Пожалуйта, введите имя нового словаря");
    EXPECT_EQ(text, "Verbs");
    EXPECT_EQ(line.EText->echoMode(), QLineEdit::Normal);
}

TEST(LineInput, CancelKeepsTheText)
{
    struct { const char *name; std::function<void(TFLineInput &)> act; } cases[] = {
        {"Escape", [](TFLineInput &l) { QTest::keyClick(l.EText, Qt::Key_Escape); }},
        {"CancelButton", [](TFLineInput &l) { l.BCancel->click(); }},
        {"Close", [](TFLineInput &l) { l.close(); }},
    };
    TFLineInput line;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QString text = "old";
        auto guard = whenShown([&] {
            QTest::keyClicks(line.EText, "typed");
            c.act(line);
        });
        EXPECT_FALSE(line.AskLine(nullptr, text, "Password"));
        EXPECT_EQ(text, "old");
    }
}

// A password prompt shows bullets and hands back what was typed; the next plain prompt shows
// its text again (the window is shared).
TEST(LineInput, MaskedPromptHidesWhatIsTypedAndTheNextPlainOneDoesNot)
{
    TFLineInput line;
    struct Case { bool masked; QLineEdit::EchoMode echo; };
    const Case cases[] = {{true, QLineEdit::Password}, {false, QLineEdit::Normal}, {true, QLineEdit::Password}};
    for (const Case &c : cases) {
        QString text;
        QLineEdit::EchoMode shownEcho = QLineEdit::NoEcho;
        auto guard = whenShown([&] {
            shownEcho = line.EText->echoMode();
            QTest::keyClicks(line.EText, "s3cret");
            QTest::keyClick(line.EText, Qt::Key_Enter);
        });
        EXPECT_TRUE(line.AskLine(nullptr, text, "Password", c.masked));
        EXPECT_EQ(shownEcho, c.echo) << c.masked;
        EXPECT_EQ(text, "s3cret");
    }
    TFLineInput::TestHook hook;
    QString text;
    line.AskLine(nullptr, text, "Password", true);
    line.AskLine(nullptr, text, "Name");
    ASSERT_EQ(hook.shown().size(), 2);
    EXPECT_TRUE(hook.shown()[0].masked);
    EXPECT_FALSE(hook.shown()[1].masked);
}

TEST(LineInput, CentredOnItsOwner)
{
    QWidget owner;
    owner.setGeometry(100, 120, 500, 300);
    owner.show();
    TFLineInput line;
    TFLineInput::TestHook hook;
    hook.answer({TFLineInput::Ok, "x"});
    QString text;
    EXPECT_TRUE(line.AskLine(&owner, text, "p"));
    EXPECT_EQ(text, "x");
    const QRect o = owner.frameGeometry();
    EXPECT_EQ(line.pos(), QPoint(o.left() + (o.width() - line.frameGeometry().width()) / 2,
                                 o.top() + (o.height() - line.frameGeometry().height()) / 2));
    ASSERT_EQ(hook.shown().size(), 1);
    EXPECT_EQ(hook.shown()[0].owner, &owner);
}

// The version the information window shows is the project's own.
QString projectVersion()
{
    QFile f(QStringLiteral(WORDPOP_SOURCE_DIR) + "/CMakeLists.txt");
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const auto m = QRegularExpression(R"(project\(Wordpop\s+VERSION\s+([0-9.]+))").match(QString::fromUtf8(f.readAll()));
    return m.captured(1);
}

TEST(Information, ShowsNameVersionAndDate)
{
    TFInformation info;
    EXPECT_EQ(info.LProduct->text(), "Wordpop");
    ASSERT_FALSE(projectVersion().isEmpty());
    EXPECT_EQ(info.LVersion->text(), "Версия " + projectVersion());
    EXPECT_TRUE(QRegularExpression(R"(^Дата выпуска: \d\d\.\d\d\.\d{4}$)").match(info.LDate->text()).hasMatch())
        << info.LDate->text().toStdString();
}

TEST(Information, HelpButtonOpensTheProgramFoldersHelp)
{
    TestHome home;
    ProgramFolder::resolve();
    UrlCatcher catcher;
    MessageBox::TestHook boxes;
    TFInformation info;

    info.BHelp->click();                    // no help file yet: reported, nothing opened
    EXPECT_TRUE(catcher.urls.isEmpty());
    ASSERT_EQ(boxes.texts().size(), 1);
    EXPECT_EQ(boxes.texts()[0], "Программе не удалось открыть файл " + home.home() + "wordpop.html");

    home.writeFile("wordpop.html", "<html></html>");
    info.BHelp->click();
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_EQ(catcher.urls[0], QUrl::fromLocalFile(home.home() + "wordpop.html"));
    EXPECT_EQ(boxes.texts().size(), 1);
}

TEST(Information, F1OpensItNextToTheCallingWindow)
{
    QWidget window;
    auto *edit = new QLineEdit(&window);
    window.setGeometry(200, 150, 400, 300);
    window.show();
    InstallHelpKey(&window);
    TFInformation::TestHook hook;
    TFMessage msg;
    msg.move(300, 200);

    QTest::keyClick(edit, Qt::Key_F1);      // from a field inside the window
    auto guard = whenShown([&] { QTest::keyClick(msg.BYes, Qt::Key_F1); msg.BCancel->click(); });
    msg.AskQuestion("c", "t", 0, 0);

    ASSERT_EQ(hook.shown().size(), 2);
    EXPECT_EQ(hook.shown()[0].caller, &window);
    EXPECT_EQ(hook.shown()[0].position, window.pos() + QPoint(10, 30));
    EXPECT_EQ(hook.shown()[1].caller, &msg);
    EXPECT_EQ(hook.shown()[1].position, msg.pos() + QPoint(10, 30));
}

} // namespace

