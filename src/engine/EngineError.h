// Errors raised by every layer of the table engine (disk file, table, expressions, index,
// cursor). The engine never returns failure codes: it throws one of these, and callers that
// must survive a failure catch EEngineError.
#pragma once

#include <stdexcept>
#include <string>

// Base of every engine failure; what() is the full message a user would see.
class EEngineError : public std::runtime_error {
public:
    explicit EEngineError(const std::string& message) : std::runtime_error(message) {}
    std::string message() const { return what(); }
};

// Text of an engine error code from ErrListAry, or nullptr for a code not in the list.
const char* ErrListText(int code);

struct TErrListEntry {
    int code;
    const char* text;
};
extern const TErrListEntry ErrListAry[];
extern const int ErrListCount;

// Engine-level failure with code, subcode and detail (usually the file name).
// Message: "<text> - <detail>" for a listed code ("<text>" when there is no detail);
// otherwise "Table Error <code>[, SubCode <sub>].\r[ <detail>><sub>]".
// A plain-message form (code 0) carries the creation messages such as "Field list is invalid".
class EDbfError : public EEngineError {
public:
    EDbfError(int code, int subCode, const std::string& detail);
    explicit EDbfError(const std::string& message);

    int code() const { return code_; }
    int subCode() const { return subCode_; }
    const std::string& detail() const { return detail_; }
    // The code's text from ErrListAry (empty for an unlisted code or a plain message).
    std::string text() const;

    static std::string format(int code, int subCode, const std::string& detail);

private:
    int code_ = 0;
    int subCode_ = 0;
    std::string detail_;
};

// Expression compile and evaluation failures; the message is one of the fixed texts
// with its %s already filled in.
class EDbfExpression : public EEngineError {
public:
    explicit EDbfExpression(const std::string& message) : EEngineError(message) {}
};

// Cursor-level failures with fixed English messages ("Table name missing", ...).
class EDatabaseError : public EEngineError {
public:
    explicit EDatabaseError(const std::string& message) : EEngineError(message) {}
};

// Engine error codes used across the layers.
namespace DbfErr {
constexpr int FileNotFound = 2;
constexpr int PathNotFound = 3;
constexpr int TooManyOpenFiles = 4;
constexpr int AccessDenied = 5;
constexpr int SharingViolation = 32;
constexpr int LockViolation = 33;
constexpr int DiskRead = 100;
constexpr int DiskWrite = 101;
constexpr int FileExists = 183;
constexpr int ShortRead = 221;
constexpr int HeaderInvalid = 1001;
constexpr int BeyondEof = 1002;
constexpr int FieldNameInvalid = 1003;
constexpr int FieldType = 1004;
constexpr int MemoFormat = 1005;
constexpr int FormulaInvalid = 1006;
constexpr int NumberTooLarge = 1011;
// Subcodes naming the disk operation that failed.
constexpr int OpRead = 1101;
constexpr int OpWrite = 1102;
constexpr int OpOpen = 1107;
constexpr int OpCreate = 1108;
constexpr int OpFlush = 1111;
constexpr int OpLock = 1112;
constexpr int OpMove = 1113;
constexpr int OpCopy = 1114;
constexpr int OpDelete = 1115;
} // namespace DbfErr
