// KVTML 2 output through QXmlStreamWriter, so every text is escaped as XML wants.
#include "store/KvtmlWriter.h"

#include <QBuffer>
#include <QLocale>
#include <QUrl>
#include <QXmlStreamWriter>

namespace {

QString languageName(const QString &locale)
{
    const QLocale l(locale);
    return l.language() == QLocale::C ? locale : QLocale::languageToString(l.language());
}

// XML 1.0 cannot hold most control characters, even escaped.
QString xmlSafe(const QString &s)
{
    QString out;
    out.reserve(s.size());
    for (QChar c : s)
        out += (c.unicode() < 0x20 && c != '\t' && c != '\n' && c != '\r') || c.unicode() == 0xfffe ||
                       c.unicode() == 0xffff
                   ? QChar(' ')
                   : c;
    return out;
}

} // namespace

namespace KvtmlWriter {

QByteArray write(const std::vector<KvtmlWord> &words, const QString &title, const QString &studiedLocale,
                 const QString &nativeLocale)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter x(&buffer);
    x.setAutoFormatting(true);
    x.setAutoFormattingIndent(1);
    x.writeStartDocument();
    x.writeDTD(QStringLiteral("<!DOCTYPE kvtml PUBLIC \"kvtml2.dtd\" \"http://edu.kde.org/kvtml/kvtml2.dtd\">"));
    x.writeStartElement(QStringLiteral("kvtml"));
    x.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    x.writeStartElement(QStringLiteral("information"));
    x.writeTextElement(QStringLiteral("generator"), QStringLiteral("wordpop-dict"));
    x.writeTextElement(QStringLiteral("title"), xmlSafe(title));
    x.writeEndElement();

    x.writeStartElement(QStringLiteral("identifiers"));
    const QString locales[2] = {studiedLocale, nativeLocale};
    for (int id = 0; id < 2; ++id) {
        x.writeStartElement(QStringLiteral("identifier"));
        x.writeAttribute(QStringLiteral("id"), QString::number(id));
        x.writeTextElement(QStringLiteral("name"), xmlSafe(languageName(locales[id])));
        x.writeTextElement(QStringLiteral("locale"), xmlSafe(locales[id]));
        x.writeEndElement();
    }
    x.writeEndElement();

    x.writeStartElement(QStringLiteral("entries"));
    for (size_t i = 0; i < words.size(); ++i) {
        const KvtmlWord &w = words[i];
        x.writeStartElement(QStringLiteral("entry"));
        x.writeAttribute(QStringLiteral("id"), QString::number(i));
        x.writeStartElement(QStringLiteral("translation"));
        x.writeAttribute(QStringLiteral("id"), QStringLiteral("0"));
        x.writeTextElement(QStringLiteral("text"), xmlSafe(w.word1));
        if (!w.transcript.isEmpty())
            x.writeTextElement(QStringLiteral("pronunciation"), xmlSafe(w.transcript));
        if (!w.soundPath.isEmpty())
            x.writeTextElement(QStringLiteral("sound"), QUrl::fromLocalFile(w.soundPath).toString(QUrl::FullyEncoded));
        x.writeEndElement();
        x.writeStartElement(QStringLiteral("translation"));
        x.writeAttribute(QStringLiteral("id"), QStringLiteral("1"));
        x.writeTextElement(QStringLiteral("text"), xmlSafe(w.word2));
        x.writeEndElement();
        x.writeEndElement();
    }
    x.writeEndElement();

    // One lesson holding every word, as the KDE programs expect words to sit in lessons.
    x.writeStartElement(QStringLiteral("lessons"));
    x.writeStartElement(QStringLiteral("container"));
    x.writeTextElement(QStringLiteral("name"), xmlSafe(title));
    x.writeTextElement(QStringLiteral("inpractice"), QStringLiteral("true"));
    for (size_t i = 0; i < words.size(); ++i) {
        x.writeEmptyElement(QStringLiteral("entry"));
        x.writeAttribute(QStringLiteral("id"), QString::number(i));
    }
    x.writeEndElement();
    x.writeEndElement();

    x.writeEndElement();
    x.writeEndDocument();
    return bytes;
}

} // namespace KvtmlWriter
