// Layout names from "langs.dat", the list of installed layouts and the switch of a language
// group's fields, against a private X server whose layouts setxkbmap sets. The switch inside a
// real xcb application runs in a child program (layout_focus_child), since this program's own
// windows are offscreen.
#include "settings/Lang.h"

#include "common/PrivateXServer.h"
#include "common/TestHome.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"

#include <QCoreApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QProcess>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>

// Xlib's macros (Bool, None, Status) must come after everything else.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include "common/XkbState.h"
// X's event-type macros would hide QEvent's.
#undef FocusIn
#undef FocusOut

namespace {

// "langs.dat" as the bundle writes it: Windows-1251, CR LF.
const QByteArray kLangs = "0407=German\r\n"
                          "0409=English\r\n"
                          "040C=French\r\n"
                          "0419=\xD0\xF3\xF1\xF1\xEA\xE8\xE9\r\n"   // "Русский"
                          "0422=Ukrainian\r\n";

class LangFile : public ::testing::Test {
protected:
    void SetUp() override { ProgramFolder::resolve(); }
    void TearDown() override { ProgramFolder::set(QString()); }

    QStringList load(const QByteArray &bytes)
    {
        home.writeFile("langs.dat", bytes);
        QStringList list;
        QString error;
        EXPECT_TRUE(LoadLanguageList(list, &error)) << error.toStdString();
        return list;
    }

    TestHome home;
};

TEST_F(LangFile, ReadsLinesInWindows1251)
{
    struct Case { QByteArray bytes; QStringList lines; };
    const QString russian = QString::fromUtf8("0419=Русский");
    const Case cases[] = {
        {kLangs, {"0407=German", "0409=English", "040C=French", russian, "0422=Ukrainian"}},
        {"0409=English\n0419=\xD0\xF3\xF1\xF1\xEA\xE8\xE9", {"0409=English", russian}},  // LF, no last line end
        {"0409=English\r\n\r\n0407=German\r\n", {"0409=English", "", "0407=German"}},
        {"", {}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(load(c.bytes), c.lines) << c.bytes.toStdString();
}

TEST_F(LangFile, FindsTheFileWhateverItsLetterCase)
{
    home.writeFile("LANGS.DAT", "0409=English\r\n");
    QStringList list;
    EXPECT_TRUE(LoadLanguageList(list));
    EXPECT_EQ(list, QStringList{"0409=English"});
    EXPECT_EQ(LayoutName("00000409"), "English");
}

TEST_F(LangFile, MissingFileIsAnErrorNamingIt)
{
    QStringList list{"stale"};
    QString error;
    EXPECT_FALSE(LoadLanguageList(list, &error));
    EXPECT_TRUE(list.isEmpty());
    EXPECT_TRUE(error.contains("langs.dat")) << error.toStdString();
    EXPECT_EQ(LayoutName("00000409"), "");
    EXPECT_EQ(LayoutCode("English"), "");
}

TEST_F(LangFile, AFolderInTheFilesPlaceIsUnreadable)
{
    home.writeFile("langs.dat/inside", "0409=English\r\n");
    QStringList list;
    QString error;
    EXPECT_FALSE(LoadLanguageList(list, &error));
    EXPECT_TRUE(list.isEmpty());
    EXPECT_TRUE(error.contains("langs.dat")) << error.toStdString();
}

TEST_F(LangFile, NamesAndCodesFromTheProgramFoldersFile)
{
    home.writeFile("langs.dat", kLangs);
    EXPECT_EQ(LayoutName("00000419"), QString::fromUtf8("Русский"));
    EXPECT_EQ(LayoutCode(QString::fromUtf8("Русский")), "0419");
    EXPECT_EQ("0000" + LayoutCode("French"), "0000040C");
}

TEST(LayoutName, LooksUpTheCodeOfAnIdentifier)
{
    const QStringList langs{"0409=English", "040c=French", "0419=Russian", "419=Short", "04222=Long",
                            "0407=", "0408=Greek=Modern", "garbage", "0410 = Italian"};
    struct Case { const char *identifier; const char *name; };
    const Case cases[] = {
        {"00000409", "English"},
        {"0409", "English"},          // a bare language code
        {"0000040C", "French"},       // codes ignore letter case, both ways
        {"0000040c", "French"},
        {"00010409", "English"},      // only the last four characters count
        {"00000419", "Russian"},
        {"00000407", ""},             // listed with an empty name
        {"00000408", "Greek=Modern"}, // the name is everything after the first "="
        {"00000410", ""},             // "0410 " is not the code
        {"00000411", ""},             // not listed
        {"000419", ""},               // neither 4 nor 8 characters
        {"000000419", ""},
        {"419", ""},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(LayoutName(langs, c.identifier), QString(c.name)) << c.identifier;
    EXPECT_TRUE(IsLayoutIdentifier("0419"));
    EXPECT_TRUE(IsLayoutIdentifier("00000419"));
    EXPECT_FALSE(IsLayoutIdentifier("000000419"));
}

TEST(LayoutCode, NeedsTheExactNameAfterAFourCharacterCode)
{
    const QStringList langs{"0409=English", "0419=Russian", "419=Short", "04222=Long", "0C0A=Spanish",
                            "0407=German ", "=Nothing"};
    struct Case { QString name; const char *code; };
    const Case cases[] = {
        {"English", "0409"},
        {"Russian", "0419"},
        {"Spanish", "0C0A"},
        {"russian", ""},     // names match exactly
        {"Short", ""},       // the code before "=" is not 4 characters: never matched
        {"2=Long", ""},
        {"Long", ""},
        {"German", ""},      // the trailing blank is part of the name
        {"German ", "0407"},
        {"Nothing", ""},
        {"", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(LayoutCode(langs, c.name), QString(c.code)) << c.name.toStdString();
}

TEST(GroupLayout, EachGroupHasItsStoredLayout)
{
    TOptions o{};
    SetOptionText(o.StudiedLayout, "00000407");
    SetOptionText(o.NativeLayout, "00000419");
    SetOptionText(o.TranscriptionLayout, "00000409");
    EXPECT_EQ(GroupLayout(0, o), "00000407");
    EXPECT_EQ(GroupLayout(1, o), "00000419");
    EXPECT_EQ(GroupLayout(2, o), "00000409");
    EXPECT_EQ(GroupLayout(3, o), "");
    EXPECT_EQ(GroupLayout(-1, o), "");
}

TEST(SetLanguageFont, TakesTheGroupsFamilyAndKeepsTheWidgetsSize)
{
    TOptions o{};
    SetOptionText(o.StudiedFontName, "Liberation Serif");
    SetOptionText(o.NativeFontName, "DejaVu Sans");
    SetOptionText(o.TranscriptionFontName, "Lucida Sans Unicode");
    const char *const families[] = {"Liberation Serif", "DejaVu Sans", "Lucida Sans Unicode"};
    for (int group = 0; group < 3; ++group) {
        QLineEdit field;
        QFont big = field.font();
        big.setPointSize(17);
        big.setBold(true);
        field.setFont(big);
        SetLanguageFont(&field, group, o);
        EXPECT_EQ(field.font().family(), families[group]) << group;
        EXPECT_EQ(field.font().pointSize(), 17);
        EXPECT_TRUE(field.font().bold());
    }
    QLineEdit other;
    const QString before = other.font().family();
    SetLanguageFont(&other, 3, o);
    EXPECT_EQ(other.font().family(), before);
    SetLanguageFont(nullptr, 0, o);
}

TEST(ListKeyboardLayoutsWithoutX, ListsNothingAndSaysNothing)
{
    ScopedDisplay none(nullptr);
    MessageBox::TestHook boxes;
    QStringList result{"kept"};
    ListKeyboardLayouts({"0409=English"}, result);
    EXPECT_EQ(result, QStringList{"kept"});
    EXPECT_TRUE(boxes.texts().isEmpty());
    LoadKeyboardLayoutByName("00000409");  // nothing to switch, nothing happens
}

// A private X server for the suite; each test sets its layouts and starts on the first one.
class LayoutsOnX : public ::testing::Test {
protected:
    static void SetUpTestSuite() { s_server = new PrivateXServer; }
    static void TearDownTestSuite()
    {
        delete s_server;
        s_server = nullptr;
    }

    void SetUp() override
    {
        REQUIRE_PRIVATE_X_SERVER(*s_server);
        m_env = std::make_unique<ScopedDisplay>(s_server->display());
        m_dpy = XOpenDisplay(s_server->display().toLocal8Bit().constData());
        ASSERT_NE(m_dpy, nullptr);
        SetDefaultOptions(o);
    }
    void TearDown() override
    {
        if (m_dpy)
            XCloseDisplay(m_dpy);
        m_env.reset();
    }

    bool setLayouts(const QString &layouts)
    {
        const std::string error = s_server->setLayouts(layouts);
        if (!error.empty()) {
            m_skip = "the X server cannot hold the layouts " + layouts.toStdString() + ": " + error;
            return false;
        }
        // setxkbmap may report success for a keymap the server did not take.
        const int wanted = int(layouts.count(',')) + 1;
        if (const int groups = groupCount(); groups != wanted) {
            m_skip = "the X server holds " + std::to_string(groups) + " groups after setxkbmap "
                     + layouts.toStdString() + ", not " + std::to_string(wanted);
            return false;
        }
        XkbLockGroup(m_dpy, XkbUseCoreKbd, 0);
        XSync(m_dpy, False);
        return true;
    }
    // The keyboard's state as the server has it, on the test's own connection.
    int groupCount() { return xkbGroupCount(m_dpy); }
    int lockedGroup() { return xkbLockedGroup(m_dpy); }
    void lock(int group) { xkbLock(m_dpy, group); }

    static PrivateXServer *s_server;
    std::unique_ptr<ScopedDisplay> m_env;
    Display *m_dpy = nullptr;
    std::string m_skip;
    TOptions o;
};

PrivateXServer *LayoutsOnX::s_server = nullptr;

#define SET_LAYOUTS(layouts)           \
    do {                               \
        if (!setLayouts(layouts))      \
            GTEST_SKIP() << m_skip;    \
    } while (0)

TEST_F(LayoutsOnX, ListsEveryLayoutOnceFromTheOneAfterTheActiveAndSwitchesNothing)
{
    SET_LAYOUTS("us,ru,de");
    const QStringList langs{"0407=German", "0409=English", "0419=Russian"};
    struct Case { int active; QStringList names; };
    const Case cases[] = {
        {0, {"Russian", "German", "English"}},
        {1, {"German", "English", "Russian"}},
        {2, {"English", "Russian", "German"}},
    };
    MessageBox::TestHook boxes;
    for (const Case &c : cases) {
        lock(c.active);
        QStringList result{"first"};   // appended to, not replaced
        ListKeyboardLayouts(langs, result);
        EXPECT_EQ(result, QStringList{"first"} + c.names) << c.active;
        EXPECT_EQ(lockedGroup(), c.active);
    }
    EXPECT_TRUE(boxes.texts().isEmpty()) << boxes.texts().join('|').toStdString();
}

TEST_F(LayoutsOnX, LayoutsLangsDatDoesNotNameAreReportedAndLeftOut)
{
    SET_LAYOUTS("us,ru,epo");
    struct Case { QStringList langs; QStringList names; QStringList messages; };
    const Case cases[] = {
        {{"0409=English", "0419=Russian"}, {"Russian", "English"}, {"Unknown layout : epo"}},
        {{"0409=English"}, {"English"}, {"Unknown layout : 0419", "Unknown layout : epo"}},
        {{"0409=English", "0419="}, {"English"}, {"Unknown layout : 0419", "Unknown layout : epo"}},
        {{}, {}, {"Unknown layout : 0419", "Unknown layout : epo", "Unknown layout : 0409"}},
    };
    for (const Case &c : cases) {
        MessageBox::TestHook boxes;
        QStringList result;
        ListKeyboardLayouts(c.langs, result);
        EXPECT_EQ(result, c.names);
        EXPECT_EQ(boxes.texts(), c.messages);
    }
}

TEST_F(LayoutsOnX, TwoGroupsOfOneLanguageAreOneLayout)
{
    SET_LAYOUTS("us,ru,us");
    MessageBox::TestHook boxes;
    QStringList result;
    ListKeyboardLayouts({"0409=English", "0419=Russian"}, result);
    EXPECT_EQ(result, (QStringList{"Russian", "English"}));
}

TEST_F(LayoutsOnX, OneLayoutIsListedOnceAndStaysActive)
{
    SET_LAYOUTS("us");
    MessageBox::TestHook boxes;
    QStringList result;
    ListKeyboardLayouts({"0409=English", "0419=Russian"}, result);
    EXPECT_EQ(result, QStringList{"English"});
    EXPECT_EQ(lockedGroup(), 0);
    EXPECT_TRUE(boxes.texts().isEmpty());
}

TEST_F(LayoutsOnX, LoadingALayoutByNameLocksItsGroup)
{
    SET_LAYOUTS("us,ru");
    LoadKeyboardLayoutByName("00000419");
    EXPECT_EQ(lockedGroup(), 1);
    LoadKeyboardLayoutByName("00000407");   // not installed: nothing changes
    EXPECT_EQ(lockedGroup(), 1);
    LoadKeyboardLayoutByName("garbage");
    EXPECT_EQ(lockedGroup(), 1);
    LoadKeyboardLayoutByName("00000409");
    EXPECT_EQ(lockedGroup(), 0);
}

TEST_F(LayoutsOnX, TheEntrySwitchFollowsTheGroupAndHonoursAutoSwitchLayout)
{
    SET_LAYOUTS("us,ru");
    // Defaults: studied 00000409, native 00000419, transcription 00000409.
    struct Step { int group; bool autoSwitch; int before; int after; };
    const Step steps[] = {
        {1, true, 0, 1},
        {0, true, 1, 0},
        {2, true, 1, 0},
        {1, false, 0, 0},   // switching off: the field keeps whatever layout is active
        {0, false, 1, 1},
        {7, true, 1, 1},    // no such group
    };
    for (const Step &s : steps) {
        lock(s.before);
        o.AutoSwitchLayout = s.autoSwitch;
        SwitchToGroupLayout(s.group, o);
        EXPECT_EQ(lockedGroup(), s.after) << "group " << s.group << " auto " << s.autoSwitch;
    }
}

// The filter switches on every focus event of its field, with the global settings; here the
// events are sent by hand, the child program below has a real focus change do it.
TEST_F(LayoutsOnX, TheFocusSwitchActsOnFocusInOfItsFieldOnly)
{
    SET_LAYOUTS("us,ru");
    const TOptions saved = Options;
    SetDefaultOptions(Options);
    QWidget window;
    auto *word = new QLineEdit(&window);
    auto *translation = new QLineEdit(&window);
    LayoutOnFocus *filter = LayoutOnFocus::install(translation, 0);
    EXPECT_EQ(LayoutOnFocus::install(translation, 1), filter);   // retargeted, not doubled
    EXPECT_EQ(filter->group(), 1);
    EXPECT_EQ(LayoutOnFocus::of(translation), filter);
    EXPECT_EQ(LayoutOnFocus::of(word), nullptr);
    LayoutOnFocus::install(word, 0);

    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason), focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QCoreApplication::sendEvent(translation, &focusIn);
    EXPECT_EQ(lockedGroup(), 1);
    QCoreApplication::sendEvent(translation, &focusOut);
    EXPECT_EQ(lockedGroup(), 1);
    QCoreApplication::sendEvent(word, &focusIn);
    EXPECT_EQ(lockedGroup(), 0);
    filter->setGroup(0);                  // a reverse question: the foreign word is typed
    lock(1);
    QCoreApplication::sendEvent(translation, &focusIn);
    EXPECT_EQ(lockedGroup(), 0);
    Options.AutoSwitchLayout = false;
    lock(1);
    QCoreApplication::sendEvent(word, &focusIn);
    EXPECT_EQ(lockedGroup(), 1);
    Options = saved;
}

// In a real xcb application: a focus change between two fields switches the server's group, and
// the key the user presses then types the group's letter.
TEST_F(LayoutsOnX, FocusChangesInAnXcbApplicationSwitchTheLayout)
{
    SET_LAYOUTS("us,ru");
    struct Case { const char *autoSwitch; const char *output; };
    const Case cases[] = {
        {"1", "native 1 \xD1\x84\nstudied 0 a\nnative 1 \xD1\x84\n"},   // "ф", the Russian key of "a"
        {"0", "native 0 a\nstudied 0 a\nnative 0 a\n"},
    };
    for (const Case &c : cases) {
        lock(0);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", s_server->display());
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("ASAN_OPTIONS", "detect_leaks=0");
        child.setProcessEnvironment(env);
        child.start(LAYOUT_FOCUS_CHILD, {c.autoSwitch});
        ASSERT_TRUE(child.waitForFinished(60000));
        const QByteArray err = child.readAllStandardError();
        if (child.exitCode() == 77)
            GTEST_SKIP() << "the xcb child cannot run: " << err.trimmed().toStdString();
        EXPECT_EQ(child.exitCode(), 0) << err.toStdString();
        EXPECT_EQ(child.readAllStandardOutput().toStdString(), c.output) << err.toStdString();
    }
}

} // namespace
