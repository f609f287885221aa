// Catalogue lines to list entries, with the file-name check that keeps a catalogue from
// naming paths or smuggling commands. Relies on the text layer for Windows-1251.
#include "download/Catalogue.h"

#include "platform/Text.h"

#include <QFile>

namespace Catalogue {

namespace {

// Shown text: converted, control characters as blanks (a list entry is one line).
QString shown(const std::string &bytes)
{
    QString s = Text::fromCp1251(bytes);
    for (QChar &c : s) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    }
    return s;
}

bool endsWithWrd(const std::string &name)
{
    if (name.size() < 4)
        return false;
    const std::string tail = name.substr(name.size() - 4);
    return tail[0] == '.' && (tail[1] | 0x20) == 'w' && (tail[2] | 0x20) == 'r' && (tail[3] | 0x20) == 'd';
}

} // namespace

std::vector<std::string> SplitLine(const std::string &line)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semi = line.find(';', start);
        if (semi == std::string::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, semi - start));
        start = semi + 1;
    }
}

bool IsPlainDictionaryFileName(const std::string &name)
{
    if (name.empty() || name.size() > 255 || !endsWithWrd(name) || name.size() == 4)
        return false;
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos
        || name.find("..") != std::string::npos)
        return false;
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    // A leading blank or a drive letter ("C:x.wrd") is no plain name either.
    if (name.front() == ' ' || name.find(':') != std::string::npos)
        return false;
    return true;
}

QString Entry::Text() const
{
    return shown(name) + QStringLiteral("       (words : ") + shown(words) + QStringLiteral(", size : ")
           + shown(size) + QStringLiteral(" Kb)");
}

QString Entry::LocalName() const { return Text::fromCp1251(file); }

std::optional<Entry> ParseLine(const std::string &line)
{
    const std::vector<std::string> fields = SplitLine(line);
    if (fields.size() < 2 || !IsPlainDictionaryFileName(fields[1]))
        return std::nullopt;
    Entry e;
    e.line = line;
    e.name = fields[0];
    e.file = fields[1];
    if (fields.size() > 2)
        e.words = fields[2];
    if (fields.size() > 3)
        e.size = fields[3];
    return e;
}

std::vector<Entry> Parse(const std::string &bytes)
{
    std::vector<Entry> entries;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos)
            lf = bytes.size();
        std::string line = bytes.substr(start, lf - start);
        start = lf + 1;
        // A text transfer may have doubled the CR of a CR LF.
        while (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (std::optional<Entry> e = ParseLine(line))
            entries.push_back(std::move(*e));
    }
    return entries;
}

bool Read(const QString &path, std::vector<Entry> &entries)
{
    entries.clear();
    QFile f(path);
    // A catalogue is a few kilobytes; a huge file is not one.
    if (!f.open(QIODevice::ReadOnly) || f.size() > 16 * 1024 * 1024)
        return false;
    const QByteArray bytes = f.readAll();
    entries = Parse(bytes.toStdString());
    return true;
}

} // namespace Catalogue
