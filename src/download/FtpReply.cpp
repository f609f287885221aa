// Reply parsing for the FTP client. Strict where a loose reading could be fooled: a code is
// three digits and a separator, a multi-line reply ends only at its own code, and nothing grows
// without bound.
#include "download/FtpReply.h"

#include <cctype>

namespace FtpReply {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The text of a line without its leading code, for searching sizes in.
std::string_view withoutCode(std::string_view line)
{
    if (ParseCode(line))
        return line.substr(4);
    return line;
}

} // namespace

std::optional<LineCode> ParseCode(std::string_view line)
{
    if (line.size() < 4 || !isDigit(line[0]) || !isDigit(line[1]) || !isDigit(line[2]))
        return std::nullopt;
    if (line[3] != ' ' && line[3] != '-')
        return std::nullopt;
    const int code = (line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0');
    return LineCode{code, line[3] == '-'};
}

std::string Reply::Text() const
{
    std::string text;
    for (const std::string &l : lines) {
        if (!text.empty())
            text += ' ';
        text += l;
    }
    return text;
}

void Reader::Feed(const char *data, std::size_t size)
{
    if (!m_error.empty())
        return;
    if (Buffered() + size > kMaxBuffered) {
        m_error = "The server sent too much on the control connection";
        return;
    }
    // Compact before growing, so a long session does not keep every byte it ever read.
    if (m_pos > 0 && m_pos == m_buffer.size()) {
        m_buffer.clear();
        m_pos = 0;
    } else if (m_pos > 64 * 1024) {
        m_buffer.erase(0, m_pos);
        m_pos = 0;
    }
    m_buffer.append(data, size);
}

Reader::Status Reader::Next(Reply &reply, std::string &error)
{
    for (;;) {
        if (!m_error.empty()) {
            error = m_error;
            return Error;
        }
        const std::size_t lf = m_buffer.find('\n', m_pos);
        if (lf == std::string::npos) {
            if (Buffered() >= kMaxLine)
                m_error = "The server's reply line is too long";
            if (!m_error.empty())
                continue;
            return NeedMore;
        }
        if (lf + 1 - m_pos > kMaxLine) {
            m_error = "The server's reply line is too long";
            continue;
        }
        std::string line = m_buffer.substr(m_pos, lf - m_pos);
        m_pos = lf + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();

        const std::optional<LineCode> code = ParseCode(line);
        if (!m_inReply) {
            if (!code) {
                m_error = "The server's reply has no code: " + line.substr(0, 200);
                continue;
            }
            m_partial = Reply{code->code, {std::move(line)}};
            if (!code->more) {
                reply = std::move(m_partial);
                m_partial = Reply{};
                return Complete;
            }
            m_inReply = true;
            continue;
        }
        const bool last = code && !code->more && code->code == m_partial.code;
        m_partial.lines.push_back(std::move(line));
        if (last) {
            reply = std::move(m_partial);
            m_partial = Reply{};
            m_inReply = false;
            return Complete;
        }
        if (m_partial.lines.size() >= kMaxReplyLines)
            m_error = "The server's reply has too many lines";
    }
}

void Reader::Clear()
{
    m_buffer.clear();
    m_pos = 0;
    m_partial = Reply{};
    m_inReply = false;
    m_error.clear();
}

std::uint64_t AnnouncedSize(const Reply &reply)
{
    // Search the lines as one text, the codes left out, for the last "BYTE".
    std::string text;
    for (const std::string &l : reply.lines) {
        text += withoutCode(l);
        text += '\n';
    }
    for (char &c : text)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    const std::size_t at = text.rfind("BYTE");
    if (at == std::string::npos)
        return 0;
    std::size_t end = at;
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\t'))
        --end;
    std::size_t begin = end;
    while (begin > 0 && isDigit(text[begin - 1]))
        --begin;
    if (begin == end)
        return 0;
    // "v2 bytes" or "x10 bytes": digits glued to a word are not a size.
    if (begin > 0 && std::isalpha(static_cast<unsigned char>(text[begin - 1])))
        return 0;
    std::uint64_t size = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const std::uint64_t digit = std::uint64_t(text[i] - '0');
        if (size > (std::uint64_t(INT64_MAX) - digit) / 10)
            return 0;
        size = size * 10 + digit;
    }
    return size;
}

std::optional<std::uint16_t> PassivePort(const Reply &reply)
{
    const std::string text = reply.Text();
    auto validPort = [](unsigned long v) -> std::optional<std::uint16_t> {
        if (v == 0 || v > 65535)
            return std::nullopt;
        return std::uint16_t(v);
    };
    if (reply.code == 229) {
        // "(|||port|)": four equal delimiters around the port, the fields before it empty.
        const std::size_t open = text.find('(');
        if (open == std::string::npos || open + 5 > text.size())
            return std::nullopt;
        const char d = text[open + 1];
        if (d < 33 || d > 126 || isDigit(d) || text[open + 2] != d || text[open + 3] != d)
            return std::nullopt;
        std::size_t i = open + 4;
        unsigned long port = 0;
        std::size_t digits = 0;
        while (i < text.size() && isDigit(text[i]) && digits < 6) {
            port = port * 10 + unsigned(text[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 5 || i + 1 >= text.size() || text[i] != d || text[i + 1] != ')')
            return std::nullopt;
        return validPort(port);
    }
    if (reply.code == 227) {
        // The first run of six comma-separated numbers after the code.
        const std::string_view body = withoutCode(reply.lines.empty() ? std::string_view() : std::string_view(reply.lines.front()));
        for (std::size_t start = 0; start < body.size(); ++start) {
            if (!isDigit(body[start]) || (start > 0 && (isDigit(body[start - 1]) || body[start - 1] == ',')))
                continue;
            unsigned long fields[6];
            std::size_t i = start;
            int n = 0;
            for (; n < 6; ++n) {
                std::size_t digits = 0;
                unsigned long v = 0;
                while (i < body.size() && isDigit(body[i]) && digits < 4) {
                    v = v * 10 + unsigned(body[i] - '0');
                    ++i;
                    ++digits;
                }
                if (digits == 0 || digits > 3 || v > 255)
                    break;
                fields[n] = v;
                if (n < 5) {
                    if (i >= body.size() || body[i] != ',')
                        break;
                    ++i;
                }
            }
            if (n == 6 && (i >= body.size() || (!isDigit(body[i]) && body[i] != ',')))
                return validPort(fields[4] * 256 + fields[5]);
        }
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace FtpReply
