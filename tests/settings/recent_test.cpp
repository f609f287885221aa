// The recent-dictionary list: order, its mirror in the record, and dictionaries that vanished.
#include "SettingsTestSupport.h"

#include "platform/MessageBox.h"

static QStringList names(const QString &prefix, std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *n : list)
        out << prefix + n;
    return out;
}

class RecentTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        SetDefaultOptions(o);   // empties the list
        base = home.home() + "BASE/ON/";
    }
    void fill(std::initializer_list<const char *> oldestFirst)
    {
        for (const char *n : oldestFirst)
            AddRecentDictionary(base + n);
    }
    QString base;
};

TEST_F(RecentTest, ReopeningSwapsWithTheFirstAndASixthDropsTheFifth)
{
    struct Case { std::initializer_list<const char *> opened; std::initializer_list<const char *> expected; };
    const Case cases[] = {
        {{"a", "b", "c"}, {"c", "b", "a"}},
        {{"a", "b", "c", "a"}, {"a", "b", "c"}},              // third swaps with the first
        {{"a", "b", "c", "c"}, {"c", "b", "a"}},              // already first: nothing moves
        {{"a", "b", "c", "d", "b"}, {"b", "c", "d", "a"}},
        {{"a", "b", "c", "d", "e"}, {"e", "d", "c", "b", "a"}},
        {{"a", "b", "c", "d", "e", "f"}, {"f", "e", "d", "c", "b"}},
    };
    for (const Case &c : cases) {
        SetDefaultOptions(o);
        fill(c.opened);
        EXPECT_EQ(RecentDictionaryList(), names(base, c.expected));
    }
}

TEST_F(RecentTest, MatchIgnoresLetterCase)
{
    fill({"Animals", "Слова", "c"});
    AddRecentDictionary(base.toUpper() + "СЛОВА");
    EXPECT_EQ(RecentDictionaryList(), (QStringList{base + "Слова", base + "c", base + "Animals"}));
}

TEST_F(RecentTest, VanishedDictionariesAreDroppedAtLoadAndTheirSlotsEmptied)
{
    home.writeFile("BASE/ON/a.wrd", "x");
    home.writeFile("BASE/ON/c.wrd", "x");
    home.writeFile("BASE/ON/d.wrd", "x");
    fill({"d", "c", "b", "a"});
    ASSERT_TRUE(SaveOptions(o));
    QByteArray b = fileBytes();
    const QByteArray folder = QFile::encodeName(base);
    EXPECT_EQ(stringAt(b, 0x1041), folder + "a");
    EXPECT_EQ(stringAt(b, 0x1041 + 512), folder + "b");
    EXPECT_EQ(stringAt(b, 0x1041 + 3 * 512), folder + "d");
    EXPECT_EQ(stringAt(b, 0x1041 + 4 * 512), "");

    // b.wrd never existed, and c goes away before the next start.
    ASSERT_TRUE(QFile::remove(base + "c.wrd"));
    std::memset(&o, 0, sizeof o);
    LoadOptions(o);
    EXPECT_EQ(RecentDictionaryList(), (QStringList{base + "a", base + "d"}));
    ASSERT_TRUE(SaveOptions(o));
    b = fileBytes();
    EXPECT_EQ(stringAt(b, 0x1041), folder + "a");
    EXPECT_EQ(stringAt(b, 0x1041 + 512), folder + "d");
    for (int slot = 2; slot < 5; ++slot)
        EXPECT_EQ(stringAt(b, 0x1041 + slot * 512), "") << slot;
}

TEST_F(RecentTest, PathsTheCodePageCannotHoldLeaveTheirSlotEmpty)
{
    home.writeFile("BASE/ON/日本.wrd", "x");
    home.writeFile("BASE/ON/дом.wrd", "x");
    fill({"дом", "日本"});
    ASSERT_TRUE(SaveOptions(o));
    const QByteArray b = fileBytes();
    EXPECT_EQ(stringAt(b, 0x1041), "");
    EXPECT_EQ(stringAt(b, 0x1041 + 512), QFile::encodeName(base).append("\xE4\xEE\xEC"));
    std::memset(&o, 0, sizeof o);
    LoadOptions(o);
    EXPECT_EQ(RecentDictionaryList(), QStringList{base + "дом"});
}
