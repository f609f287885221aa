// Text conversion at the boundary between Windows-1251 files and the Unicode user interface.
#include "platform/Text.h"

#include <gtest/gtest.h>

TEST(Text, RoundTripsCyrillicAndAscii)
{
    struct Case { std::string bytes; QString text; };
    const Case cases[] = {
        {"", ""},
        {"word", "word"},
        {"\xF1\xEB\xEE\xE2\xEE", QString::fromUtf8("слово")},
        {"\xA8\xB8 \xB9", QString::fromUtf8("Ёё №")},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(Text::fromCp1251(c.bytes), c.text);
        int lost = -1;
        EXPECT_EQ(Text::toCp1251(c.text, &lost), c.bytes);
        EXPECT_EQ(lost, 0);
    }
}

TEST(Text, MissingCharactersBecomeQuestionMarksAndAreCounted)
{
    int lost = 0;
    EXPECT_EQ(Text::toCp1251(QString::fromUtf8("a\u4E2Db\u00DFc"), &lost), "a?b?c");
    EXPECT_EQ(lost, 2);
    EXPECT_FALSE(Text::fitsCp1251(QString::fromUtf8("日本")));
    EXPECT_TRUE(Text::fitsCp1251(QString::fromUtf8("дом house")));
}

TEST(Text, TellsUtf8FromWindows1251)
{
    struct Case { std::string bytes; bool utf8; };
    const Case cases[] = {
        {"plain ascii", false},                 // nothing to convert
        {"\xD0\xB4\xD0\xBE\xD0\xBC", true},     // "дом" in UTF-8
        {"\xE4\xEE\xEC", false},                // "дом" in Windows-1251
        {"\xC0\x80", false},                    // overlong
        {"\xED\xA0\x80", false},                // surrogate
        {"\xD0", false},                        // cut short
    };
    for (const Case &c : cases)
        EXPECT_EQ(Text::looksLikeUtf8(c.bytes), c.utf8) << c.bytes;
}
