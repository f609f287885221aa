// Engine error texts and the two message forms (listed code, unlisted code).
#include "engine/EngineError.h"

const TErrListEntry ErrListAry[] = {
    {2, "File not found"},
    {3, "Path not found"},
    {4, "Too many open files"},
    {5, "File access denied"},
    {12, "Invalid file access code"},
    {15, "Invalid drive number"},
    {32, "File access denied"},
    {33, "Record locked by another user"},
    {100, "Disk read error"},
    {101, "Disk write error"},
    {102, "File not assigned"},
    {103, "File not open"},
    {104, "File not open for input"},
    {105, "File not open for output"},
    {106, "Invalid numeric format"},
    {150, "Disk is write-protected"},
    {152, "Drive not ready"},
    {162, "Hardware failure"},
    {183, "File already exists"},
    {1001, "dBase DBF file header invalid"},
    {1002, "dBase record request beyond EOF"},
    {1003, "dBase field name is invalid"},
    {1004, "dBase field is of incorrect type"},
    {1005, "dBase memo record has format error"},
    {1006, "Formula expression cannot be translated"},
    {1011, "Number too large to fit in field"},
};
const int ErrListCount = int(sizeof(ErrListAry) / sizeof(ErrListAry[0]));

const char* ErrListText(int code)
{
    for (const auto& e : ErrListAry)
        if (e.code == code)
            return e.text;
    return nullptr;
}

std::string EDbfError::format(int code, int subCode, const std::string& detail)
{
    if (const char* text = ErrListText(code)) {
        std::string m = text;
        if (!detail.empty())
            m += " - " + detail;
        return m;
    }
    std::string m = "Table Error " + std::to_string(code);
    if (subCode != 0)
        m += ", SubCode " + std::to_string(subCode);
    m += ".\r";
    if (!detail.empty())
        m += " " + detail + ">" + std::to_string(subCode);
    return m;
}

EDbfError::EDbfError(int code, int subCode, const std::string& detail)
    : EEngineError(format(code, subCode, detail)), code_(code), subCode_(subCode), detail_(detail)
{
}

EDbfError::EDbfError(const std::string& message) : EEngineError(message) {}

std::string EDbfError::text() const
{
    const char* t = ErrListText(code_);
    return t ? t : "";
}
