// Expression language: scanning and binding, operators by type, precedence, the text
// comparison with its wildcards, index key values, and every error message.
#include "EngineTestUtil.h"
#include "engine/Expression.h"

#include <gtest/gtest.h>

namespace {

class ExpressionTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto fields = topicFields();
        fields.push_back("DATE;D;8;0");
        fields.push_back("OK;L;1;0");
        fields.push_back("PRICE;N;8;2");
        table.Open(CreateDbfTable(dir / "t.wrd", fields));
        table.Blank();
        table.SetString(0, "cat");
        table.SetString(1, "\xEA\xEE\xF8\xEA\xE0");  // Windows-1251 text
        table.SetNumber(3, 5);                       // MISS
        table.SetNumber(4, 2);                       // KBMISS
        table.SetDate(10, DbfDateToJulian(2024, 3, 1));
        table.SetLogical(11, true);
        table.SetNumber(12, 2.5);
    }

    TExpValue eval(const std::string& text)
    {
        TExpHandler h(&table);
        h.Compile(text);
        return h.Evaluate();
    }

    std::string error(const std::string& text)
    {
        try {
            TExpHandler h(&table);
            h.Compile(text);
            h.Evaluate();
        } catch (const EEngineError& e) {
            return e.what();
        }
        return "(no error)";
    }

    TempFolder dir;
    TDbfTable table;
};

TEST_F(ExpressionTest, NumbersPrecedenceAndAssociativity)
{
    const std::pair<const char*, double> cases[] = {
        {"2+3*4", 14},       {"(2+3)*4", 20},      {"10-2-3", 5},       {"2**3**2", 64},
        {"2^10", 1024},      {"2**0", 1},          {"2**-1", 0.5},      {"2.5**2.9", 6.25},
        {"7/2", 3.5},        {"-3+5", 2},          {"5*-2", -10},       {"MISS*2+KBMISS", 12},
        {"miss - kbmiss", 3}, {"PRICE*2", 5},      {"1.5E2", 150},      {"12abc", 0},
        {"DATE+1-DATE", 1},  {"(((1)))", 1},       {"- 4", -4},
    };
    for (auto [text, want] : cases) {
        TExpValue v = eval(text);
        EXPECT_EQ(v.type, TExpType::Number) << text;
        EXPECT_DOUBLE_EQ(v.number, want) << text;
    }
}

TEST_F(ExpressionTest, LogicalResults)
{
    const std::pair<const char*, bool> cases[] = {
        {".T. OR .F. AND .F.", true}, {"(.T. OR .F.) AND .F.", false}, {"NOT .F. AND .T.", true},
        {"!.T.", false},              {".NOT. MISS = 5", false},        {"MISS > KBMISS", true},
        {"MISS >= 5 .AND. MISS <= 5", true}, {"MISS => 6", false},     {"MISS =< 5", true},
        {"MISS # 5", false},          {"MISS <> 4", true},              {"MISS != 5", false},
        {"OK", true},                 {"OK = T", true},                 {"OK # TRUE", false},
        {"ok <> false", true},        {"DATE > {20240229}", true},      {"DATE = {2024-03-01}", true},
        {"DATE < 2460000", false},    {"word1 = 'cat'", true},          {"WORD1 = [cat]", true},
        {"'a' < 'b'", true},          {"'ab' > 'a'", true},             {"'b' > 'abc'", true},
        {"'\xE0' > 'z'", true},  // bytes compare unsigned
        {"T->WORD1 = 'cat' AND t.miss = 5", true},  // alias prefixes
    };
    for (auto [text, want] : cases) {
        TExpValue v = eval(text);
        EXPECT_EQ(v.type, TExpType::Logical) << text;
        EXPECT_EQ(v.logical, want) << text;
    }
}

TEST_F(ExpressionTest, TextOperatorsAndFieldValues)
{
    const std::pair<const char*, std::string> cases[] = {
        {"'ab' + 'cd'", "abcd"},
        {"'ab  ' - 'cd'", "abcd  "},
        {"'ab  ' + 'cd'", "ab  cd"},
        {"WORD1", "cat" + std::string(77, ' ')},
        {"\"unclosed", "unclosed"},
        {"UPPER(WORD1)", "CAT" + std::string(77, ' ')},
        {"TRIM(WORD1) + '!'", "cat!"},
        {"SUBSTR('category', 3, 4)", "tego"},
        {"DTOS(DATE)", "20240301"},
        {"STR(MISS, 3)", "  5"},
        {"IIF(MISS > 1, 'many', 'few')", "many"},
    };
    for (const auto& [text, want] : cases) {
        TExpValue v = eval(text);
        EXPECT_EQ(v.type, TExpType::Character) << text;
        EXPECT_EQ(v.text, want) << text;
    }
    EXPECT_EQ(eval("WORD2").text.substr(0, 5), "\xEA\xEE\xF8\xEA\xE0");
    EXPECT_EQ(eval("WORD2 = '\xEA\xEE\xF8\xEA\xE0'").logical, true);  // Cyrillic literal unchanged
}

TEST_F(ExpressionTest, TextComparisonAndWildcards)
{
    TExpHandler h(&table);
    const struct {
        const char* left;
        const char* right;
        bool equal;
    } cases[] = {
        {"cat   ", "cat", true},    {"cat", "category", false}, {"category", "cat", false},
        {"Cat", "cat", false},      {" cat", "cat", false},     {"cat", "ca*", true},
        {"category", "ca*", true},  {"cat", "*at", true},       {"hat", "*at", true},
        {"atat", "*at", true},      {"at", "*at", true},        {"scatter", "*att*", true},
        {"cat", "*x*", false},      {"anything", "*", true},    {"", "*", true},
        {"dog", "ca*", false},      {"ca*", "ca*", true},       {"cat   ", "cat*   ", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(h.CompareText(c.left, c.right) == 0, c.equal) << c.left << " vs " << c.right;
    EXPECT_LT(h.CompareText("cat", "category"), 0);
    EXPECT_GT(h.CompareText("dog", "ca*"), 0);  // a mismatch keeps the plain order

    h.Wildcard = false;
    EXPECT_NE(h.CompareText("cat", "ca*"), 0);
    h.Wildcard = true;
    h.CaseInsensitive = true;
    EXPECT_EQ(h.CompareText("Cat", "cAT"), 0);
    EXPECT_EQ(h.CompareText("CATEGORY", "cat*"), 0);
    EXPECT_NE(h.CompareText("\xC0", "\xE0"), 0);  // only a-z fold

    // Through the filter syntax, against the stored, blank-padded field.
    EXPECT_TRUE(eval("WORD1=\"ca*\"").logical);
    EXPECT_TRUE(eval("WORD1=\"*at\"").logical);
    EXPECT_FALSE(eval("WORD1=\"category\"").logical);
}

TEST_F(ExpressionTest, DuplicateFilterCompilesToAnOrOfTwoComparisons)
{
    TExpHandler h(&table);
    h.Compile("WORD1=\"x\" OR WORD2=\"y\"");
    EXPECT_EQ(h.TreeText(), "OR(=(WORD1,\"x\"),=(WORD2,\"y\"))");
    table.SetString(0, "other");
    table.SetString(1, "y");
    EXPECT_TRUE(h.Matches());
    table.SetString(1, "yy");
    EXPECT_FALSE(h.Matches());
    h.Compile("word1=\"x\" or word2=\"Y\"");
    EXPECT_EQ(h.TreeText(), "OR(=(WORD1,\"x\"),=(WORD2,\"Y\"))");
    // Evaluating against another buffer than the current record.
    std::vector<char> rec(table.RecordBuffer(), table.RecordBuffer() + table.RecordLength());
    table.SetString(1, "Y");
    EXPECT_TRUE(h.Matches());
    EXPECT_FALSE(h.Matches(rec.data()));
}

TEST_F(ExpressionTest, KeysOfTheDictionaryTags)
{
    TExpHandler h(&table);
    h.Compile("MISS");
    EXPECT_EQ(h.TreeText(), "MISS");
    EXPECT_EQ(h.StaticType(), TExpType::Number);
    EXPECT_EQ(h.KeyType(), 'N');
    EXPECT_EQ(h.KeyLength(), 8);
    EXPECT_EQ(h.KeyBytes(), std::string("\xC0\x14\0\0\0\0\0\0", 8));
    const std::pair<double, std::string> encoded[] = {
        {0, std::string("\x80\0\0\0\0\0\0\0", 8)}, {-0.0, std::string("\x80\0\0\0\0\0\0\0", 8)},
        {1, std::string("\xBF\xF0\0\0\0\0\0\0", 8)}, {2, std::string("\xC0\0\0\0\0\0\0\0", 8)},
        {5, std::string("\xC0\x14\0\0\0\0\0\0", 8)}, {-1, std::string("\x40\x0F\xFF\xFF\xFF\xFF\xFF\xFF", 8)}};
    for (const auto& [v, bytes] : encoded)
        EXPECT_EQ(TExpHandler::EncodeNumericKey(v), bytes) << v;
    EXPECT_LT(TExpHandler::EncodeNumericKey(-2), TExpHandler::EncodeNumericKey(-1));
    EXPECT_LT(TExpHandler::EncodeNumericKey(1), TExpHandler::EncodeNumericKey(1.5));

    h.Compile("WORD1");
    EXPECT_EQ(h.KeyType(), 'C');
    EXPECT_EQ(h.KeyLength(), 80);
    EXPECT_EQ(h.FieldLength(), 80);
    EXPECT_EQ(h.KeyBytes(), "cat" + std::string(77, ' '));
    h.Compile("WORD1 + TRANSCRIPT");
    EXPECT_EQ(h.KeyLength(), 160);
    h.Compile("DATE");
    EXPECT_EQ(h.KeyType(), 'D');
    EXPECT_EQ(h.KeyBytes(), TExpHandler::EncodeNumericKey(DbfDateToJulian(2024, 3, 1)));

    h.Compile("   ");
    EXPECT_TRUE(h.IsEmpty());
    EXPECT_EQ(h.Evaluate().type, TExpType::None);
    EXPECT_TRUE(h.Matches());
}

TEST_F(ExpressionTest, ErrorMessages)
{
    const std::pair<const char*, const char*> cases[] = {
        {"WORD3 = 'a'", "Field/variable WORD3 is unknown"},
        {"word3", "Field/variable WORD3 is unknown"},
        {"NOSUCH(WORD1)", "There is no function for NOSUCH"},
        {"MISS KBMISS", "Expression cannot be evaluated"},
        {"UPPER(WORD1, WORD2)", "Expression cannot be evaluated"},
        {"1, 2", "Expression cannot be evaluated"},
        {"MISS +", "Target value missing for + operation"},
        {"* 2", "Target value missing for * operation"},
        {"NOT", "Target value missing for NOT operation"},
        {"(MISS + 1", "Missing closing parentheses"},
        {"UPPER(WORD1", "Missing closing parentheses"},
        {"MISS + 1)", "Unexpected closing parentheses found"},
        {"WORD1 = 5", "The two sides of an operation do not match"},
        {"OK AND MISS", "The two sides of an operation do not match"},
        {"WORD1 * WORD2", "A numeric value is required but invalid"},
        {"MISS AND MISS", "A logical value is required but invalid"},
        {"WORD1 OR WORD2", "A logical value is required but invalid"},
        {"OK + OK", "A numeric value is required but invalid"},
        {"OK == OK", "A logical value is required but invalid"},
        {"NOT MISS", "A logical value is required but invalid"},
        {"MISS == 5", "A numeric value is required but invalid"},
        {"WORD1 == 'a'", "A character value is required but invalid"},
        {"WORD1=\"say \"hi\" now\"", "Field/variable HI is unknown"},
    };
    for (auto [text, want] : cases)
        EXPECT_EQ(error(text), want) << text;
    TExpHandler h(&table);
    h.Compile("MISS");
    EXPECT_EQ([&] {
        try {
            h.Matches();
        } catch (const EDatabaseError& e) {
            return std::string(e.what());
        }
        return std::string();
    }(),
              "Filter expression must return boolean result");
    // Deep nesting fails cleanly instead of exhausting the stack.
    EXPECT_EQ(error(std::string(5000, '(') + "1" + std::string(5000, ')')), "Expression cannot be evaluated");
    std::string chain = "1";
    for (int i = 0; i < 3000; ++i)
        chain += "+1";
    EXPECT_EQ(error(chain), "Expression cannot be evaluated");
}

} // namespace
