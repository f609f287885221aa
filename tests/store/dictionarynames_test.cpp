// The shared dictionary-name rules: which typed names are refused, and the free-name search.
#include "store/DictionaryNames.h"

#include "platform/ProgramFolder.h"

#include "common/TestHome.h"

#include <gtest/gtest.h>

namespace {

TEST(DictionaryNames, RefusesNamesThatAreNoPlainFileName)
{
    struct Case { QString name; bool refused; };
    const Case cases[] = {
        {"Verbs", false},
        {"Новый словарь", false},
        {"a.b", false},
        {" spaced ", false},          // taken as given: trimming is the caller's choice
        {"", true},
        {"   ", true},
        {"a/b", true},
        {"a\\b", true},
        {".", true},
        {"..", true},
        {".hidden", true},
        {"tab\there", true},
        {QString("line") + QChar(10), true},
        {QString(247, 'x'), false},    // 247 + ".wrd" + room for the free-name number
        {QString(248, 'x'), true},
        {QString(124, QChar(0x0416)), true}, // two bytes a letter in UTF-8
    };
    for (const Case &c : cases)
        EXPECT_EQ(!DictionaryNameProblem(c.name).isEmpty(), c.refused) << c.name.toStdString();
}

TEST(DictionaryNames, FirstFreeNameLooksAtBothFoldersIgnoringCase)
{
    TestHome home;
    ProgramFolder::set(home.home());
    EXPECT_EQ(FirstFreeDictionaryName("Новый словарь"), "Новый словарь");

    home.writeFile("BASE/ON/новый словарь.wrd", "x");
    home.writeFile("BASE/OFF/НОВЫЙ СЛОВАРЬ0.WRD", "x");
    home.writeFile("BASE/LEARNED/Новый словарь1.wrd", "x"); // learned ones do not count
    EXPECT_EQ(FirstFreeDictionaryName("Новый словарь"), "Новый словарь1");

    home.writeFile("BASE/ON/Новый словарь1.cdx", "x");        // an orphan index names nothing
    EXPECT_EQ(FirstFreeDictionaryName("Новый словарь"), "Новый словарь1");
}

} // namespace
