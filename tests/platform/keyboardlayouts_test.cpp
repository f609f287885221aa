// The keyboard-layout layer: its table of XKB names, and the groups of a private X server's
// keyboard as setxkbmap sets them, read and switched through the layer and checked back on a
// connection of the test's own.
#include "platform/KeyboardLayouts.h"

#include "common/PrivateXServer.h"

#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

#include <memory>

// Xlib's macros (Bool, None, Status) must come after everything else.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include "common/XkbState.h"

namespace {

TEST(KeyboardLayoutCodes, MapsXkbNamesToLanguageCodes)
{
    struct Case { const char *layout; const char *variant; const char *code; };
    const Case cases[] = {
        {"us", "", "0409"},   {"gb", "", "0809"},   {"ru", "", "0419"},   {"de", "", "0407"},
        {"fr", "", "040C"},   {"es", "", "040A"},   {"it", "", "0410"},   {"ua", "", "0422"},
        {"by", "", "0423"},   {"pl", "", "0415"},   {"cz", "", "0405"},   {"pt", "", "0816"},
        {"br", "", "0416"},   {"tr", "", "041F"},   {"jp", "", "0411"},   {"cn", "", "0804"},
        {"kr", "", "0412"},   {"gr", "", "0408"},   {"il", "", "040D"},   {"ara", "", "0401"},
        {"RU", "", "0419"},                   // names are matched without regard to case
        {" ru ", "", "0419"},                 // blanks around a list entry
        {"ru", "phonetic", "0419"},           // a variant of the same language: the layout's code
        {"ch", "fr", "100C"},                 // a variant of another language has its own entry
        {"ch", "", "0807"},
        {"rs", "latin", "081A"},  {"rs", "", "0C1A"},
        {"ca", "eng", "1009"},
        {"epo", "", ""},                      // a layout of a language langs.dat does not list
        {"", "", ""},
        {"ru(", "", ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(KeyboardLayouts::languageCode(c.layout, c.variant), QString(c.code)) << c.layout << "(" << c.variant << ")";
}

// The table offers only languages the bundled language list can name, each code once, so that
// the options window never says "Unknown layout" for a layout the table knows.
TEST(KeyboardLayoutCodes, EveryCodeIsNamedInTheBundledLanguageList)
{
    QFile file(WORDPOP_SOURCE_DIR "/data/langs.dat.txt");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QSet<QString> listed;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.size() > 5 && line.at(4) == '=')
            listed.insert(QString::fromLatin1(line.left(4)).toUpper());
    }
    const auto table = KeyboardLayouts::codeTable();
    ASSERT_GE(table.size(), 20);
    QSet<QString> names;
    for (const auto &[name, code] : table) {
        EXPECT_TRUE(listed.contains(code)) << name.toStdString() << " -> " << code.toStdString();
        EXPECT_FALSE(names.contains(name)) << name.toStdString() << " twice";
        names.insert(name);
    }
}

TEST(KeyboardLayoutsWithoutX, NoDisplayMeansNoLayoutsAndNoSwitching)
{
    for (const char *display : {static_cast<const char *>(nullptr), ":4095"}) {
        ScopedDisplay none(display);
        const KeyboardLayouts::State s = KeyboardLayouts::state();
        EXPECT_TRUE(s.layouts.isEmpty());
        EXPECT_EQ(s.active, -1);
        EXPECT_FALSE(KeyboardLayouts::unavailableReason().isEmpty());
        EXPECT_FALSE(KeyboardLayouts::activate("00000409"));
        EXPECT_FALSE(KeyboardLayouts::lockGroup(0));
        EXPECT_TRUE(KeyboardLayouts::activeIdentifier().isEmpty());
    }
}

// One private server for the suite; each test sets the layouts it needs.
class KeyboardLayoutsOnX : public ::testing::Test {
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
    }
    void TearDown() override
    {
        if (m_dpy)
            XCloseDisplay(m_dpy);
        m_env.reset();
    }

    // Sets the layouts, or skips when the server cannot hold them.
    bool setLayouts(const QString &layouts, const QString &variants = QString())
    {
        const std::string error = s_server->setLayouts(layouts, variants);
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
        lock(0);
        return true;
    }

    // The keyboard's state as the server has it, on the test's own connection.
    int groupCount() { return xkbGroupCount(m_dpy); }
    int lockedGroup() { return xkbLockedGroup(m_dpy); }
    void lock(int group) { xkbLock(m_dpy, group); }

    // The groups' identifiers and names, "," between them.
    static std::string identifiers(const KeyboardLayouts::State &s)
    {
        QStringList list;
        for (const KeyboardLayouts::Layout &l : s.layouts)
            list << l.identifier;
        return list.join(',').toStdString();
    }
    static std::string names(const KeyboardLayouts::State &s)
    {
        QStringList list;
        for (const KeyboardLayouts::Layout &l : s.layouts)
            list << l.xkbName;
        return list.join(',').toStdString();
    }

    static PrivateXServer *s_server;
    std::unique_ptr<ScopedDisplay> m_env;
    Display *m_dpy = nullptr;
    std::string m_skip;
};

PrivateXServer *KeyboardLayoutsOnX::s_server = nullptr;

#define SET_LAYOUTS(...)                 \
    do {                                 \
        if (!setLayouts(__VA_ARGS__))    \
            GTEST_SKIP() << m_skip;      \
    } while (0)

TEST_F(KeyboardLayoutsOnX, ListsTheGroupsInOrderWithTheActiveOne)
{
    SET_LAYOUTS("us,ru");
    KeyboardLayouts::State s = KeyboardLayouts::state();
    EXPECT_EQ(names(s), "us,ru");
    EXPECT_EQ(identifiers(s), "00000409,00000419");
    EXPECT_EQ(s.active, 0);
    EXPECT_TRUE(KeyboardLayouts::unavailableReason().isEmpty());

    lock(1);  // switched by someone else: the layer sees it
    s = KeyboardLayouts::state();
    EXPECT_EQ(s.active, 1);
    EXPECT_EQ(KeyboardLayouts::activeIdentifier(), "00000419");
}

TEST_F(KeyboardLayoutsOnX, ActivatingAnIdentifierLocksItsGroup)
{
    SET_LAYOUTS("us,ru,fr");
    struct Step { const char *identifier; bool found; int group; };
    const Step steps[] = {
        {"00000419", true, 1},
        {"0000040c", true, 2},     // letter case ignored
        {"00000409", true, 0},
        {"00000407", false, 0},    // German is not installed: nothing changes
        {"0419", false, 0},        // only whole identifiers name a layout
        {"", false, 0},
    };
    for (const Step &st : steps) {
        EXPECT_EQ(KeyboardLayouts::activate(st.identifier), st.found) << st.identifier;
        EXPECT_EQ(lockedGroup(), st.group) << st.identifier;
    }
    EXPECT_TRUE(KeyboardLayouts::lockGroup(2));
    EXPECT_EQ(lockedGroup(), 2);
    EXPECT_FALSE(KeyboardLayouts::lockGroup(3));
    EXPECT_FALSE(KeyboardLayouts::lockGroup(-1));
    EXPECT_EQ(lockedGroup(), 2);
}

TEST_F(KeyboardLayoutsOnX, VariantsAndUnknownLayouts)
{
    SET_LAYOUTS("ch,rs,epo", "fr,latin,");
    const KeyboardLayouts::State s = KeyboardLayouts::state();
    EXPECT_EQ(names(s), "ch(fr),rs(latin),epo");
    EXPECT_EQ(identifiers(s), "0000100C,0000081A,");
    // A layout without an identifier cannot be chosen by one.
    EXPECT_TRUE(KeyboardLayouts::activate("0000081A"));
    EXPECT_EQ(lockedGroup(), 1);
}

TEST_F(KeyboardLayoutsOnX, SingleLayout)
{
    SET_LAYOUTS("de");
    const KeyboardLayouts::State s = KeyboardLayouts::state();
    EXPECT_EQ(identifiers(s), "00000407");
    EXPECT_EQ(s.active, 0);
    EXPECT_TRUE(KeyboardLayouts::activate("00000407"));
    EXPECT_EQ(lockedGroup(), 0);
}

// A keymap loaded without rules names (xkbcomp, some desktops) still names its groups through
// its symbols ("pc+us+ru:2+inet(evdev)").
TEST_F(KeyboardLayoutsOnX, WithoutRulesNamesTheSymbolsNameGivesTheLayouts)
{
    SET_LAYOUTS("gb,ua", ",");
    const Atom rules = XInternAtom(m_dpy, "_XKB_RULES_NAMES", False);
    XDeleteProperty(m_dpy, DefaultRootWindow(m_dpy), rules);
    XSync(m_dpy, False);

    const KeyboardLayouts::State s = KeyboardLayouts::state();
    EXPECT_EQ(names(s), "gb,ua");
    EXPECT_EQ(identifiers(s), "00000809,00000422");
    EXPECT_TRUE(KeyboardLayouts::activate("00000422"));
    EXPECT_EQ(lockedGroup(), 1);
}

// Rules names that cover fewer groups than the keymap has: the rest go by the keymap's own
// group names, with no identifier.
TEST_F(KeyboardLayoutsOnX, GroupsBeyondTheRulesNamesGoByTheirGroupNames)
{
    SET_LAYOUTS("us,ru");
    const Atom rules = XInternAtom(m_dpy, "_XKB_RULES_NAMES", False);
    const char property[] = "evdev\0pc105\0us\0\0";
    XChangeProperty(m_dpy, DefaultRootWindow(m_dpy), rules, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(property), sizeof property);
    XSync(m_dpy, False);

    const KeyboardLayouts::State s = KeyboardLayouts::state();
    EXPECT_EQ(names(s), "us,Russian");
    EXPECT_EQ(identifiers(s), "00000409,");
    EXPECT_FALSE(KeyboardLayouts::activate("00000419"));
    EXPECT_EQ(lockedGroup(), 0);
}

} // namespace
