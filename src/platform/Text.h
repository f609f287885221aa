// Text conversion between the Windows-1251 bytes of Wordpop's files and the Unicode of its
// windows. The only place that converts; it relies on glibc iconv, not a table of our own.
#pragma once

#include <QString>
#include <string>

namespace Text {

// Windows-1251 bytes to Unicode. Every byte has a character, so this cannot fail.
QString fromCp1251(const std::string &bytes);
QString fromCp1251(const char *bytes);

// Unicode to Windows-1251. Characters the code page lacks become '?'; when `lost` is given it
// receives how many did.
std::string toCp1251(const QString &text, int *lost = nullptr);

// True when every character of `text` exists in Windows-1251.
bool fitsCp1251(const QString &text);

// Bytes that are valid UTF-8 and hold at least one non-ASCII byte (how import files written by
// editors here are told from Windows-1251 ones).
bool looksLikeUtf8(const std::string &bytes);

} // namespace Text
