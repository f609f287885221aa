// Small text helpers the engine layers share: blanks trimmed, ASCII upper case (names of
// fields, tags and files). Windows-1251 letters are the cursor's own business.
#pragma once

#include <cctype>
#include <string>

inline std::string Trim(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

inline std::string AsciiUpper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}
