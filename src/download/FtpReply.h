// Replies of an FTP server on the control connection: cutting the received bytes into lines,
// gathering one reply (single or multi-line), and reading what the client needs from it: the
// code, the size a transfer announces and the port a passive reply offers. Plain C++, no
// sockets, so that it can be fed anything (the fuzz target does).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace FtpReply {

// A server line longer than this (line feed included) is refused rather than buffered on.
constexpr std::size_t kMaxLine = 4096;
// Lines of one reply; a multi-line reply that never ends is refused after this many.
constexpr std::size_t kMaxReplyLines = 512;
// Bytes held unread at once; a server that floods the control connection is refused.
constexpr std::size_t kMaxBuffered = 256 * 1024;

// The code that opens or closes a reply: exactly three digits followed by ' ' (the last line)
// or '-' (the first line of several). Anything else is no code.
struct LineCode {
    int code;
    bool more;
};
std::optional<LineCode> ParseCode(std::string_view line);

struct Reply {
    int code = 0;
    std::vector<std::string> lines;   // without their CR LF
    // The lines joined with a blank between them.
    std::string Text() const;
};

// Collects received bytes and hands out whole replies.
class Reader {
public:
    enum Status { NeedMore, Complete, Error };

    void Feed(const char *data, std::size_t size);
    // The next reply once it is complete. On Error, `error` says why and the reader stays
    // failed until Clear().
    Status Next(Reply &reply, std::string &error);
    // Drops everything received and any reply half read (unasked data before a command).
    void Clear();
    std::size_t Buffered() const { return m_buffer.size() - m_pos; }

private:
    std::string m_buffer;
    std::size_t m_pos = 0;
    Reply m_partial;
    bool m_inReply = false;
    std::string m_error;
};

// The size a transfer reply announces: the run of digits just before the reply's last "BYTE"
// (any case, blanks between allowed), as in "(10240 bytes)". 0 when there is none or it does not
// fit in 63 bits. Reply codes at the start of lines are never taken for a size.
std::uint64_t AnnouncedSize(const Reply &reply);

// The data port of a passive reply: 229 "(|||port|)" or 227 "h1,h2,h3,h4,p1,p2". Only the port
// is taken; the address is always the control connection's peer. Nothing when malformed.
std::optional<std::uint16_t> PassivePort(const Reply &reply);

} // namespace FtpReply
