// Import files to word records; relies on platform/Text.h for UTF-8 detection and conversion
// and on QFile for reading (the whole file at once, as the import always did).
#include "store/ImportReader.h"

#include "platform/Text.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <string_view>

ImportReadError::ImportReadError(const QString &path, const std::string &reason)
    : std::runtime_error(path.toStdString() + ": " + reason), m_path(path)
{
}

namespace ImportReader {

ImportFormat formatOf(const QString &path)
{
    // Only the file name's own dot counts: a dot in a folder name is no extension.
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    if (dot < 0 || dot < slash)
        return ImportFormat::None;
    const QString ending = path.mid(dot + 1, 3);
    if (ending.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        return ImportFormat::Csv;
    if (ending.compare(QLatin1String("txt"), Qt::CaseInsensitive) == 0)
        return ImportFormat::LinePairs;
    return ImportFormat::None;
}

std::string decode(const std::string &bytes, int *lost, bool *converted)
{
    if (lost)
        *lost = 0;
    if (converted)
        *converted = false;
    const bool bom = bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if (!bom && !Text::looksLikeUtf8(bytes))
        return bytes;
    if (converted)
        *converted = true;
    const std::string body = bom ? bytes.substr(3) : bytes;
    // With a mark the text is taken as UTF-8 even where it is not valid; such bytes come
    // back as replacement characters and so as counted "?".
    const QString text = QString::fromUtf8(body.data(), static_cast<qsizetype>(body.size()));
    return Text::toCp1251(text, lost);
}

namespace {

// Calls each(line) for every line of text, as splitLines cuts them, without a string per line.
template <class Each>
void forEachLine(std::string_view text, Each each)
{
    const size_t n = text.size();
    size_t start = 0;
    while (start < n) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            each(text.substr(start));
            break;
        }
        each(text.substr(start, end - start));
        start = end + 1;
        if (text[end] == '\r' && start < n && text[start] == '\n')
            ++start;
    }
}

// Calls each(part) for every ";"-separated part of line, as splitParts cuts them; stops early
// when each returns false.
template <class Each>
void forEachPart(std::string_view line, Each each)
{
    size_t start = 0;
    for (;;) {
        const size_t sep = line.find(';', start);
        if (sep == std::string_view::npos) {
            each(line.substr(start));
            return;
        }
        if (!each(line.substr(start, sep - start)))
            return;
        start = sep + 1;
    }
}

} // namespace

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines;
    forEachLine(text, [&](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

std::vector<std::string> splitParts(const std::string &line)
{
    std::vector<std::string> parts;
    forEachPart(line, [&](std::string_view part) {
        parts.emplace_back(part);
        return true;
    });
    return parts;
}

ImportFile parse(const std::string &bytes, ImportFormat format)
{
    ImportFile file;
    file.format = format;
    if (format == ImportFormat::None)
        return file;
    const std::string text = decode(bytes, &file.lostCharacters, &file.fromUtf8);
    // Room for every word at once: at most one a line, or one per two (a file of CR-only
    // endings just grows).
    const size_t lines = size_t(std::count(text.begin(), text.end(), '\n')) + 1;
    file.records.reserve(format == ImportFormat::Csv ? lines : lines / 2 + 1);

    if (format == ImportFormat::Csv) {
        // Each line straight into its record: the file is as many lines as words.
        forEachLine(text, [&](std::string_view line) {
            ++file.lineCount;
            ImportRecord r;
            int part = 0;
            forEachPart(line, [&](std::string_view p) {
                std::string *target[] = {&r.word1, &r.word2, &r.transcript, &r.wavFile};
                target[part]->assign(p);
                return ++part < 4;
            });
            if (part >= 2)
                file.records.push_back(std::move(r));
        });
        return file;
    }

    std::string first;
    bool waiting = false;  // first holds a word whose translation is the next line
    forEachLine(text, [&](std::string_view line) {
        ++file.lineCount;
        if (!waiting) {
            first.assign(line);
            waiting = true;
            return;
        }
        ImportRecord r;
        r.word1 = std::move(first);
        r.word2.assign(line);
        file.records.push_back(std::move(r));
        first.clear();
        waiting = false;
    });
    // A last line without its partner is still a word: kept with an empty translation,
    // so that it shows in the editor instead of vanishing.
    if (waiting) {
        ImportRecord r;
        r.word1 = std::move(first);
        file.records.push_back(std::move(r));
        file.unpairedLastLine = true;
    }
    return file;
}

ImportFile read(const QString &path)
{
    const ImportFormat format = formatOf(path);
    if (format == ImportFormat::None) {
        ImportFile none;
        return none;
    }
    if (QFileInfo(path).isDir())
        throw ImportReadError(path, "is a folder");
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw ImportReadError(path, f.errorString().toStdString());
    const QByteArray all = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw ImportReadError(path, f.errorString().toStdString());
    return parse(std::string(all.constData(), static_cast<size_t>(all.size())), format);
}

} // namespace ImportReader
