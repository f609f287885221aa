// Import files to word records; relies on platform/Text.h for UTF-8 detection and conversion
// and on QFile for reading (the whole file at once, as the import always did).
#include "store/ImportReader.h"

#include "platform/Text.h"

#include <QFile>
#include <QFileInfo>

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

std::vector<std::string> splitLines(const std::string &text)
{
    std::vector<std::string> lines;
    const size_t n = text.size();
    size_t start = 0;
    while (start < n) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.emplace_back(text, start);
            break;
        }
        lines.emplace_back(text, start, end - start);
        start = end + 1;
        if (text[end] == '\r' && start < n && text[start] == '\n')
            ++start;
    }
    return lines;
}

std::vector<std::string> splitParts(const std::string &line)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t sep = line.find(';', start);
        if (sep == std::string::npos) {
            parts.emplace_back(line, start);
            return parts;
        }
        parts.emplace_back(line, start, sep - start);
        start = sep + 1;
    }
}

ImportFile parse(const std::string &bytes, ImportFormat format)
{
    ImportFile file;
    file.format = format;
    if (format == ImportFormat::None)
        return file;
    const std::vector<std::string> lines = splitLines(decode(bytes, &file.lostCharacters, &file.fromUtf8));
    file.lineCount = lines.size();

    if (format == ImportFormat::Csv) {
        for (const std::string &line : lines) {
            std::vector<std::string> parts = splitParts(line);
            if (parts.size() < 2)
                continue;
            ImportRecord r;
            r.word1 = std::move(parts[0]);
            r.word2 = std::move(parts[1]);
            if (parts.size() > 2)
                r.transcript = std::move(parts[2]);
            if (parts.size() > 3)
                r.wavFile = std::move(parts[3]);
            file.records.push_back(std::move(r));
        }
        return file;
    }

    file.records.reserve((lines.size() + 1) / 2);
    for (size_t i = 0; i < lines.size(); i += 2) {
        ImportRecord r;
        r.word1 = lines[i];
        // A last line without its partner is still a word: kept with an empty translation,
        // so that it shows in the editor instead of vanishing.
        if (i + 1 < lines.size())
            r.word2 = lines[i + 1];
        else
            file.unpairedLastLine = true;
        file.records.push_back(std::move(r));
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
