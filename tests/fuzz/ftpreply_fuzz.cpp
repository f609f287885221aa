// Fuzz target: any bytes as what an FTP server sends on the control connection, fed in pieces
// whose sizes the input chooses; every reply handed out must be well formed, and reading sizes
// and passive ports from it must stay in bounds.
#include "download/FtpReply.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void inspect(const FtpReply::Reply &r)
{
    check(!r.lines.empty() && r.lines.size() <= FtpReply::kMaxReplyLines);
    check(r.code >= 0 && r.code <= 999);
    const auto first = FtpReply::ParseCode(r.lines.front());
    check(first && first->code == r.code);
    if (first->more) {
        const auto last = FtpReply::ParseCode(r.lines.back());
        check(r.lines.size() >= 2 && last && !last->more && last->code == r.code);
    } else {
        check(r.lines.size() == 1);
    }
    for (const std::string &l : r.lines)
        check(l.size() < FtpReply::kMaxLine && l.find('\n') == std::string::npos);
    check(FtpReply::AnnouncedSize(r) <= std::uint64_t(INT64_MAX));
    if (const auto port = FtpReply::PassivePort(r))
        check(*port > 0);
    (void)r.Text();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte sets the piece size, as the network would cut the stream.
    const std::size_t piece = std::size_t(data[0]) + 1;
    const char *bytes = reinterpret_cast<const char *>(data + 1);
    const std::size_t n = size - 1;
    FtpReply::Reader reader;
    for (std::size_t at = 0; at < n; at += piece) {
        reader.Feed(bytes + at, std::min(piece, n - at));
        for (;;) {
            FtpReply::Reply reply;
            std::string error;
            const auto status = reader.Next(reply, error);
            if (status == FtpReply::Reader::Complete) {
                inspect(reply);
                continue;
            }
            if (status == FtpReply::Reader::Error) {
                check(!error.empty());
                reader.Clear();
            }
            break;
        }
        check(reader.Buffered() <= FtpReply::kMaxBuffered);
    }
    return 0;
}
