// Windows-1251 <-> Unicode through glibc iconv; UTF-8 detection for imported files.
#include "platform/Text.h"

#include <iconv.h>
#include <cerrno>

namespace {

// Runs iconv over the whole input; on an unconvertible character writes `fallback`
// and counts it. `step` is the width of one input character when skipping it.
std::string convert(const char *to, const char *from, const std::string &in, const std::string &fallback,
                    size_t step, int *lost)
{
    std::string out;
    if (lost)
        *lost = 0;
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    out.resize(in.size() * 4 + 16);
    char *inp = const_cast<char *>(in.data());
    size_t inLeft = in.size();
    char *outp = out.data();
    size_t outLeft = out.size();
    while (inLeft > 0) {
        size_t r = iconv(cd, &inp, &inLeft, &outp, &outLeft);
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            size_t used = outp - out.data();
            out.resize(out.size() * 2);
            outp = out.data() + used;
            outLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: one character that cannot be converted.
        size_t skip = step < inLeft ? step : inLeft;
        inp += skip;
        inLeft -= skip;
        if (outLeft < fallback.size()) {
            size_t used = outp - out.data();
            out.resize(out.size() * 2 + fallback.size());
            outp = out.data() + used;
            outLeft = out.size() - used;
        }
        for (char c : fallback) {
            *outp++ = c;
            --outLeft;
        }
        if (lost)
            ++*lost;
    }
    out.resize(outp - out.data());
    iconv_close(cd);
    return out;
}

} // namespace

namespace Text {

QString fromCp1251(const std::string &bytes)
{
    // 0x98 is the one unassigned byte of the code page; it shows as U+FFFD.
    const std::string utf16 = convert("UTF-16LE", "CP1251", bytes, std::string("\xFD\xFF", 2), 1, nullptr);
    return QString(reinterpret_cast<const QChar *>(utf16.data()), static_cast<qsizetype>(utf16.size() / 2));
}

QString fromCp1251(const char *bytes)
{
    return fromCp1251(std::string(bytes ? bytes : ""));
}

std::string toCp1251(const QString &text, int *lost)
{
    const std::string utf16(reinterpret_cast<const char *>(text.utf16()), static_cast<size_t>(text.size()) * 2);
    // A surrogate pair is two units; iconv rejects it as one character of four bytes, but
    // skipping two bytes at a time keeps the count per unit, which is close enough for a report.
    return convert("CP1251", "UTF-16LE", utf16, "?", 2, lost);
}

bool fitsCp1251(const QString &text)
{
    int lost = 0;
    toCp1251(text, &lost);
    return lost == 0;
}

bool looksLikeUtf8(const std::string &bytes)
{
    bool nonAscii = false;
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        nonAscii = true;
        int len;
        unsigned int cp;
        if ((c & 0xE0) == 0xC0) {
            len = 2;
            cp = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3;
            cp = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (i + len > n)
            return false;
        for (int k = 1; k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000) ||
            (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += len;
    }
    return nonAscii;
}

} // namespace Text
