// KVTML 1 (<e><o/><t/></e> with lessons by number) and KVTML 2 (identifiers, entries with
// translations, nested lesson containers). Both end in the same direction rule: the Russian
// identifier is native, else identifier 0 is studied and 1 native, unless the caller names them.
#include "store/KvtmlReader.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>
#include <QXmlStreamReader>

#include <map>

namespace {

constexpr qint64 maxFileSize = 256LL << 20;

struct Translation {
    QString text, pronunciation, sound;
};

struct RawEntry {
    QString id;
    std::map<int, Translation> translations;
};

struct Lesson {
    QString name;
    QStringList entryIds;
};

struct Document {
    std::map<int, QString> locales; // identifier -> locale
    std::vector<RawEntry> entries;
    std::vector<Lesson> lessons;
};

class Parser {
public:
    Parser(const QByteArray &bytes, const QString &path) : m_xml(bytes), m_path(path) {}

    Document run()
    {
        while (!m_xml.atEnd()) {
            const auto token = m_xml.readNext();
            if (token == QXmlStreamReader::DTD) {
                // Entity declarations are how an XML file blows up in memory; KVTML needs none.
                if (!m_xml.entityDeclarations().isEmpty() || m_xml.text().contains(u'['))
                    fail(QStringLiteral("its document type declares entities or elements of its own, which is refused"));
            } else if (token == QXmlStreamReader::EntityReference) {
                fail(QStringLiteral("it uses an undeclared entity"));
            } else if (token == QXmlStreamReader::StartElement) {
                if (m_xml.name() != u"kvtml")
                    fail(QStringLiteral("it is not a KVTML file (the root element is not <kvtml>)"));
                readRoot();
                break;
            }
        }
        // The rest must be well-formed too; a file cut short is damaged, not shorter.
        while (!m_xml.atEnd() && !m_xml.hasError())
            m_xml.readNext();
        checkError();
        if (!m_sawRoot)
            fail(QStringLiteral("it is not a KVTML file (no <kvtml> element)"));
        return std::move(m_doc);
    }

private:
    [[noreturn]] void fail(const QString &why)
    {
        throw VocabularyError(m_path, why);
    }

    void checkError()
    {
        if (m_xml.hasError())
            fail(QStringLiteral("damaged XML at line %1: %2").arg(m_xml.lineNumber()).arg(m_xml.errorString()));
    }

    // Text of the current element, its children's text included; entity references refused.
    QString text()
    {
        QString out;
        int depth = 1;
        while (depth > 0 && !m_xml.atEnd()) {
            switch (m_xml.readNext()) {
            case QXmlStreamReader::Characters: out += m_xml.text(); break;
            case QXmlStreamReader::StartElement: ++depth; break;
            case QXmlStreamReader::EndElement: --depth; break;
            case QXmlStreamReader::EntityReference: fail(QStringLiteral("it uses an undeclared entity"));
            default: break;
            }
        }
        checkError();
        return out;
    }

    bool next() // next child start element of the current one
    {
        const bool ok = m_xml.readNextStartElement();
        checkError();
        return ok;
    }

    void skip()
    {
        m_xml.skipCurrentElement();
        checkError();
    }

    static int idOf(const QXmlStreamAttributes &a, bool *ok)
    {
        return a.value(QStringLiteral("id")).toInt(ok);
    }

    void readRoot()
    {
        m_sawRoot = true;
        while (next()) {
            const auto n = m_xml.name();
            if (n == u"identifiers")
                readIdentifiers();
            else if (n == u"entries")
                readEntries();
            else if (n == u"lessons")
                readContainers();
            else if (n == u"e")
                readV1Entry();
            else if (n == u"lesson")
                readV1Lessons();
            else
                skip();
        }
        // KVTML 1 names lessons by number: the entries join the lesson descriptions afterwards.
        if (!m_v1Lessons.isEmpty()) {
            for (Lesson &l : m_doc.lessons)
                if (const auto it = m_v1Lessons.constFind(l.name); it != m_v1Lessons.constEnd())
                    l.name = *it;
        }
    }

    void readIdentifiers()
    {
        while (next()) {
            if (m_xml.name() != u"identifier") {
                skip();
                continue;
            }
            bool ok = false;
            const int id = idOf(m_xml.attributes(), &ok);
            QString locale, name;
            while (next()) {
                if (m_xml.name() == u"locale")
                    locale = text().trimmed();
                else if (m_xml.name() == u"name")
                    name = text().trimmed();
                else
                    skip();
            }
            if (ok && id >= 0)
                m_doc.locales[id] = locale.isEmpty() ? name : locale;
        }
    }

    void readEntries()
    {
        while (next()) {
            if (m_xml.name() != u"entry") {
                skip();
                continue;
            }
            RawEntry e;
            e.id = m_xml.attributes().value(QStringLiteral("id")).toString();
            while (next()) {
                if (m_xml.name() != u"translation") {
                    skip();
                    continue;
                }
                bool ok = false;
                const int id = idOf(m_xml.attributes(), &ok);
                Translation t;
                while (next()) {
                    const auto n = m_xml.name();
                    if (n == u"text")
                        t.text = text();
                    else if (n == u"pronunciation")
                        t.pronunciation = text();
                    else if (n == u"sound")
                        t.sound = text().trimmed();
                    else
                        skip();
                }
                if (ok && id >= 0)
                    e.translations.emplace(id, t);
            }
            m_doc.entries.push_back(std::move(e));
        }
    }

    // The children of <lessons>: each <container> is a lesson, and may hold lessons of its own,
    // which are named "outer - inner".
    void readContainers()
    {
        while (next()) {
            if (m_xml.name() == u"container")
                readContainer(QString(), 0);
            else
                skip();
        }
    }

    // The current element is a <container>.
    void readContainer(const QString &prefix, int depth)
    {
        if (depth > 64)
            fail(QStringLiteral("its lessons nest too deep"));
        const size_t at = m_doc.lessons.size();
        m_doc.lessons.push_back({});
        QString name;
        QStringList ids;
        while (next()) {
            const auto n = m_xml.name();
            if (n == u"name") {
                name = text().trimmed();
            } else if (n == u"entry") {
                ids << m_xml.attributes().value(QStringLiteral("id")).toString();
                skip();
            } else if (n == u"container") {
                readContainer(prefix.isEmpty() ? name : prefix + " - " + name, depth + 1);
            } else {
                skip();
            }
        }
        m_doc.lessons[at].name = prefix.isEmpty() ? name : prefix + " - " + name;
        m_doc.lessons[at].entryIds = ids;
    }

    // <lesson><desc no="1">Name</desc>…</lesson>
    void readV1Lessons()
    {
        while (next()) {
            if (m_xml.name() == u"desc") {
                const QString no = m_xml.attributes().value(QStringLiteral("no")).toString();
                m_v1Lessons.insert(no, text().trimmed());
            } else {
                skip();
            }
        }
    }

    // <e m="1"><o l="en" p="…">word</o><t l="ru">слово</t></e>
    void readV1Entry()
    {
        RawEntry e;
        e.id = QString::number(m_doc.entries.size());
        const QString lesson = m_xml.attributes().value(QStringLiteral("m")).toString().remove(u'-');
        int nextTranslation = 1;
        while (next()) {
            const auto n = m_xml.name();
            int id = -1;
            if (n == u"o")
                id = 0;
            else if (n == u"t")
                id = nextTranslation++;
            if (id < 0) {
                skip();
                continue;
            }
            const auto attrs = m_xml.attributes();
            const QString locale = attrs.value(QStringLiteral("l")).toString().trimmed();
            if (!locale.isEmpty() && !m_doc.locales.count(id))
                m_doc.locales[id] = locale;
            // KVTML 1 has no sound: its attributes are language, pronunciation, grades, dates,
            // remarks, synonyms and the like, none naming a file.
            Translation t;
            t.pronunciation = attrs.value(QStringLiteral("p")).toString();
            t.text = text();
            e.translations.emplace(id, t);
        }
        if (!lesson.isEmpty() && lesson != u"0") {
            auto it = std::find_if(m_doc.lessons.begin(), m_doc.lessons.end(),
                                   [&](const Lesson &l) { return l.name == lesson; });
            if (it == m_doc.lessons.end()) {
                m_doc.lessons.push_back({lesson, {}});
                it = m_doc.lessons.end() - 1;
            }
            it->entryIds << e.id;
        }
        m_doc.entries.push_back(std::move(e));
    }

    QXmlStreamReader m_xml;
    QString m_path;
    Document m_doc;
    QHash<QString, QString> m_v1Lessons; // number -> name
    bool m_sawRoot = false;
};

bool isRussian(const QString &locale)
{
    const QString l = locale.toLower();
    return l == u"ru" || l.startsWith(u"ru_") || l.startsWith(u"ru-") || l == u"russian";
}

bool localeMatches(const QString &fileLocale, const QString &wanted)
{
    if (fileLocale.compare(wanted, Qt::CaseInsensitive) == 0)
        return true;
    // "en" picks "en_GB"; "en_GB" does not pick "en_US".
    if (wanted.contains(u'_') || wanted.contains(u'-'))
        return false;
    const QString primary = fileLocale.section(QRegularExpression(QStringLiteral("[_-]")), 0, 0);
    return primary.compare(wanted, Qt::CaseInsensitive) == 0;
}

QString localeList(const std::map<int, QString> &locales)
{
    QStringList l;
    for (const auto &[id, loc] : locales)
        l << (loc.isEmpty() ? QStringLiteral("(none)") : loc);
    return l.join(QStringLiteral(", "));
}

// The identifiers of the studied and the native language.
std::pair<int, int> direction(const Document &doc, const Vocab::ReadOptions &o, const QString &path)
{
    std::vector<int> ids;
    for (const auto &[id, loc] : doc.locales)
        ids.push_back(id);
    // Translations without identifiers (KVTML 1 without "l") still count by their number.
    for (const RawEntry &e : doc.entries)
        for (const auto &[id, t] : e.translations)
            if (std::find(ids.begin(), ids.end(), id) == ids.end())
                ids.push_back(id);
    std::sort(ids.begin(), ids.end());
    if (ids.size() < 2)
        throw VocabularyError(path, QStringLiteral("it holds fewer than two languages"));
    auto find = [&](const QString &wanted, const char *option) {
        for (const auto &[id, loc] : doc.locales)
            if (localeMatches(loc, wanted))
                return id;
        throw VocabularyError(path, QStringLiteral("%1 %2: the file has no such language (it has %3)")
                                        .arg(QString::fromLatin1(option), wanted, localeList(doc.locales)));
    };
    auto other = [&](int not1) {
        for (int id : ids)
            if (id != not1)
                return id;
        return ids[0];
    };
    int studied = -1, native = -1;
    if (!o.fromLocale.isEmpty())
        studied = find(o.fromLocale, "--from");
    if (!o.toLocale.isEmpty())
        native = find(o.toLocale, "--to");
    if (studied >= 0 && native >= 0) {
        if (studied == native)
            throw VocabularyError(path, QStringLiteral("--from and --to name the same language"));
        return {studied, native};
    }
    if (studied >= 0)
        return {studied, other(studied)};
    if (native >= 0)
        return {other(native), native};
    for (const auto &[id, loc] : doc.locales)
        if (isRussian(loc))
            return {other(id), id};
    return {ids[0], ids[1]};
}

class FolderSounds : public SoundSource {
public:
    explicit FolderSounds(const QString &folder, const QString &source) : m_folder(folder), m_source(source) {}
    QByteArray read(const QString &plainName) override
    {
        QFile f(m_folder + plainName);
        if (!f.open(QIODevice::ReadOnly))
            throw VocabularyError(m_source, "cannot read the sound " + f.fileName());
        return f.readAll();
    }

private:
    QString m_folder, m_source;
};

// The plain name of a sound a translation names, when that file lies beside the vocabulary.
QString soundBeside(const QString &folder, const QString &named)
{
    if (named.isEmpty() || folder.isEmpty())
        return {};
    QString name = named;
    if (name.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive))
        name = QUrl(name).path();
    else
        name = QUrl::fromPercentEncoding(name.toUtf8());
    const QString plain = Vocab::plainMediaName(name);
    if (plain.isEmpty())
        return {};
    const QFileInfo info(folder + plain);
    if (!info.isFile() || info.isSymLink())
        return {};
    return plain;
}

} // namespace

namespace KvtmlReader {

Vocabulary parse(const QByteArray &bytes, const QString &path, const Vocab::ReadOptions &options)
{
    Document doc = Parser(bytes, path).run();
    const auto [studied, native] = direction(doc, options, path);

    QString folder;
    if (!path.isEmpty()) {
        folder = QFileInfo(path).absolutePath();
        if (!folder.endsWith('/'))
            folder += '/';
    }
    Vocabulary v;
    v.path = path;
    v.sounds = std::make_shared<FolderSounds>(folder, path);

    QHash<QString, VocabEntry> byId;
    std::vector<std::pair<QString, VocabEntry>> ordered;
    ordered.reserve(doc.entries.size());
    for (const RawEntry &e : doc.entries) {
        const auto s = e.translations.find(studied);
        const auto n = e.translations.find(native);
        VocabEntry out;
        if (s != e.translations.end()) {
            out.word1 = s->second.text.simplified();
            out.transcript = s->second.pronunciation.simplified();
        }
        if (n != e.translations.end())
            out.word2 = n->second.text.simplified();
        if (out.word1.isEmpty() || out.word2.isEmpty()) {
            ++v.skippedEmpty;
            continue;
        }
        // The studied word's sound is the one played; the native one's serves when it has none.
        QString named = s->second.sound;
        if (named.isEmpty() && n != e.translations.end())
            named = n->second.sound;
        if (!named.isEmpty()) {
            out.sound = soundBeside(folder, named);
            if (out.sound.isEmpty())
                ++v.missingSounds;
        }
        ordered.emplace_back(e.id, out);
        byId.insert(e.id, out);
    }

    if (!options.splitLessons || doc.lessons.empty()) {
        VocabGroup all;
        all.entries.reserve(ordered.size());
        for (auto &[id, e] : ordered)
            all.entries.push_back(std::move(e));
        v.groups.push_back(std::move(all));
        return v;
    }
    QSet<QString> placed;
    for (const Lesson &l : doc.lessons) {
        VocabGroup g;
        g.name = l.name.isEmpty() ? QStringLiteral("lesson") : l.name;
        for (const QString &id : l.entryIds) {
            const auto it = byId.constFind(id);
            if (it == byId.constEnd() || placed.contains(id))
                continue;
            placed.insert(id);
            g.entries.push_back(*it);
        }
        if (!g.entries.empty())
            v.groups.push_back(std::move(g));
    }
    VocabGroup rest; // words in no lesson keep the vocabulary's own name
    for (auto &[id, e] : ordered)
        if (!placed.contains(id))
            rest.entries.push_back(std::move(e));
    if (!rest.entries.empty())
        v.groups.push_back(std::move(rest));
    return v;
}

Vocabulary readFile(const QString &path, const Vocab::ReadOptions &options)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw VocabularyError(path, "cannot be read: " + f.errorString());
    if (f.size() > maxFileSize)
        throw VocabularyError(path, QStringLiteral("it is larger than 256 MB"));
    const QByteArray bytes = f.read(maxFileSize + 1);
    if (bytes.size() > maxFileSize)
        throw VocabularyError(path, QStringLiteral("it is larger than 256 MB"));
    return parse(bytes, QFileInfo(path).absoluteFilePath(), options);
}

} // namespace KvtmlReader
