// TExpHandler: the small dBase expression language of index keys, FOR conditions and
// filters. Compiles the text once into a node tree bound to a table's fields, then evaluates
// it against any record buffer of that table. Failures are EDbfExpression.
// Relies on TDbfTable for field layout and field decoding.
#pragma once

#include "engine/Dbf.h"

#include <memory>
#include <string>
#include <vector>

enum class TExpType { None, Character, Number, Date, Logical };

struct TExpValue {
    TExpType type = TExpType::None;
    std::string text;     // Character
    double number = 0;    // Number, Date (Julian day number)
    bool logical = false; // Logical
};

struct TExpNode;

class TExpHandler {
public:
    explicit TExpHandler(const TDbfTable* table);
    ~TExpHandler();
    TExpHandler(const TExpHandler&) = delete;
    TExpHandler& operator=(const TExpHandler&) = delete;

    // Options (the cursor's FilterOptions map onto them).
    bool CaseInsensitive = false;
    bool Wildcard = true;
    char WildChar = '*';

    // Builds the tree; an empty (or all-blank) text gives no tree.
    void Compile(const std::string& text);
    bool IsEmpty() const { return root_ == nullptr; }
    const std::string& Text() const { return text_; }

    // Evaluates for a record buffer (the table's current record when null). No tree: a
    // value of type None.
    const TExpValue& Evaluate(const char* record = nullptr);
    TExpType ResultType() const { return result_.type; }
    TExpValue EvaluateVariant(const char* record = nullptr) { return Evaluate(record); }
    // For FOR conditions and filters: no tree is true; a non-logical result fails with
    // "Filter expression must return boolean result" (EDatabaseError).
    bool Matches(const char* record = nullptr);

    // The type the compiled expression yields, known without evaluating.
    TExpType StaticType() const;
    // Greatest length among the fields the expression names.
    int FieldLength() const { return fieldLength_; }
    // The bytes of a record the expression reads: from the first field it names to the end
    // of the last, as [from, to) offsets in the record; from == to when it names none.
    void RecordSpan(int& from, int& to) const;

    // Index keys: 'C', 'N' or 'D'; key length (the character value's length, 8 otherwise);
    // and the encoded key bytes for a record (character: blank-padded to the key length;
    // number and date: the 8-byte ordered form of EncodeNumericKey).
    char KeyType() const;
    int KeyLength() const;
    std::string KeyBytes(const char* record = nullptr);
    // The same key written to out as exactly keyLength bytes (cut, or filled with pad): what a
    // tag build stores, without a string per record when the key is a plain field.
    void KeyInto(const char* record, char* out, int keyLength, char pad);
    static std::string EncodeNumericKey(double value);

    // The tree in prefix form, e.g. OR(=(WORD1,"x"),=(WORD2,"y")) — for diagnostics.
    std::string TreeText() const;

    // Text comparison of the comparison operators: <0, 0, >0 (wildcards per the options).
    int CompareText(std::string left, std::string right) const;

private:
    const TDbfTable* table_;
    std::string text_;
    std::unique_ptr<TExpNode> root_;
    TExpValue result_;
    int fieldLength_ = 0;
};
