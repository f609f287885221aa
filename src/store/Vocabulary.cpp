// Shared pieces of the vocabulary import: names, markup, sound copies and records.
#include "store/Vocabulary.h"

#include "store/KvtmlReader.h"

#include "platform/Modules.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"
#include "sound/SoundPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

VocabularyError::VocabularyError(const QString &path, const QString &reason)
    : std::runtime_error((path + ": " + reason).toStdString()), m_path(path), m_reason(reason)
{
}

size_t Vocabulary::entryCount() const
{
    size_t n = 0;
    for (const VocabGroup &g : groups)
        n += g.entries.size();
    return n;
}

namespace Vocab {

QString plainMediaName(const QString &name)
{
    qsizetype cut = -1;
    for (qsizetype i = 0; i < name.size(); ++i)
        if (name[i] == '/' || name[i] == '\\')
            cut = i;
    QString out;
    for (QChar c : name.mid(cut + 1)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c == ':' || c == '*' || c == '?' ||
            c == '"' || c == '<' || c == '>' || c == '|')
            continue;
        out += c.unicode() < 0x80 || Text::fitsCp1251(QString(c)) ? c : QChar('_');
    }
    while (!out.isEmpty() && (out[0] == '.' || out[0].isSpace()))
        out.remove(0, 1);
    while (!out.isEmpty() && out.back().isSpace())
        out.chop(1);
    if (out.size() > 120) {
        const qsizetype dot = out.lastIndexOf('.');
        const QString ext = dot > 0 && out.size() - dot <= 10 ? out.mid(dot) : QString();
        out = out.left(120 - ext.size()) + ext;
    }
    return out;
}

namespace {

const QHash<QString, QChar> &namedEntities()
{
    static const QHash<QString, QChar> table = {
        {"amp", '&'},         {"lt", '<'},          {"gt", '>'},          {"quot", '"'},
        {"apos", '\''},       {"nbsp", QChar(0xa0)}, {"ndash", QChar(0x2013)}, {"mdash", QChar(0x2014)},
        {"laquo", QChar(0xab)}, {"raquo", QChar(0xbb)}, {"hellip", QChar(0x2026)}, {"shy", QChar(0xad)},
        {"copy", QChar(0xa9)}, {"reg", QChar(0xae)},  {"deg", QChar(0xb0)},  {"middot", QChar(0xb7)},
        {"lsquo", QChar(0x2018)}, {"rsquo", QChar(0x2019)}, {"ldquo", QChar(0x201c)}, {"rdquo", QChar(0x201d)},
        {"bdquo", QChar(0x201e)}, {"times", QChar(0xd7)}, {"euro", QChar(0x20ac)}, {"sect", QChar(0xa7)},
        {"auml", QChar(0xe4)}, {"ouml", QChar(0xf6)}, {"uuml", QChar(0xfc)}, {"Auml", QChar(0xc4)},
        {"Ouml", QChar(0xd6)}, {"Uuml", QChar(0xdc)}, {"szlig", QChar(0xdf)}, {"eacute", QChar(0xe9)},
        {"egrave", QChar(0xe8)}, {"ecirc", QChar(0xea)}, {"aacute", QChar(0xe1)}, {"agrave", QChar(0xe0)},
        {"acirc", QChar(0xe2)}, {"ccedil", QChar(0xe7)}, {"ntilde", QChar(0xf1)}, {"oacute", QChar(0xf3)},
        {"iacute", QChar(0xed)}, {"uacute", QChar(0xfa)}, {"iexcl", QChar(0xa1)}, {"iquest", QChar(0xbf)},
    };
    return table;
}

bool isBreakTag(const QString &tag)
{
    static const QStringList names = {"br", "p", "div", "li", "tr", "td", "th", "h1", "h2", "h3",
                                      "h4", "h5", "h6", "ul", "ol", "table", "hr", "blockquote"};
    return names.contains(tag);
}

} // namespace

int decodeEntity(const QString &html, qsizetype pos, QString &out)
{
    const qsizetype end = html.indexOf(';', pos + 1);
    if (end < 0 || end - pos > 12)
        return 0;
    const QString body = html.mid(pos + 1, end - pos - 1);
    if (body.startsWith('#')) {
        bool ok = false;
        uint code = body.size() > 1 && (body[1] == 'x' || body[1] == 'X') ? body.mid(2).toUInt(&ok, 16)
                                                                          : body.mid(1).toUInt(&ok, 10);
        if (!ok || code == 0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
            return 0;
        const char32_t c = code;
        out += QString::fromUcs4(&c, 1);
        return int(end - pos + 1);
    }
    const auto it = namedEntities().constFind(body);
    if (it == namedEntities().constEnd())
        return 0;
    out += *it;
    return int(end - pos + 1);
}

QString htmlToText(const QString &html)
{
    QString text;
    text.reserve(html.size());
    bool skipping = false; // inside <script> or <style>
    QString skipEnd;
    for (qsizetype i = 0; i < html.size();) {
        const QChar c = html[i];
        if (c == '<') {
            const qsizetype close = html.indexOf('>', i + 1);
            if (close < 0) { // a lone "<" is text
                if (!skipping)
                    text += c;
                ++i;
                continue;
            }
            QString tag = html.mid(i + 1, close - i - 1).trimmed().toLower();
            const bool closing = tag.startsWith('/');
            if (closing)
                tag.remove(0, 1);
            for (qsizetype k = 0; k < tag.size(); ++k)
                if (tag[k].isSpace() || tag[k] == '/') {
                    tag.truncate(k);
                    break;
                }
            if (skipping) {
                if (closing && tag == skipEnd)
                    skipping = false;
            } else if (!closing && (tag == "script" || tag == "style")) {
                skipping = true;
                skipEnd = tag;
            } else if (isBreakTag(tag)) {
                text += ' ';
            }
            i = close + 1;
            continue;
        }
        if (skipping) {
            ++i;
            continue;
        }
        if (c == '&') {
            const int used = decodeEntity(html, i, text);
            if (used > 0) {
                i += used;
                continue;
            }
        }
        text += c;
        ++i;
    }
    // Non-breaking and other spaces count as space; runs fold to one.
    QString folded;
    folded.reserve(text.size());
    bool space = false;
    for (QChar c : text) {
        if (c.isSpace() || c.unicode() == 0xa0) {
            space = true;
            continue;
        }
        if (c.unicode() == 0xad)
            continue;
        if (space && !folded.isEmpty())
            folded += ' ';
        space = false;
        folded += c;
    }
    return folded;
}

QString baseNameOf(const QString &path)
{
    QString name = path.mid(path.lastIndexOf('/') + 1);
    const qsizetype dot = name.lastIndexOf('.');
    if (dot > 0)
        name.truncate(dot);
    return name;
}

QString dictionaryNameFor(const QString &base, const QString &group, bool severalGroups)
{
    QString name = base;
    if (severalGroups) {
        QString g = group;
        g.replace(QStringLiteral("::"), QStringLiteral(" - "));
        g.replace(QChar(0x1f), QStringLiteral(" - "));
        name = g.trimmed().isEmpty() ? base : base + " - " + g.trimmed();
    }
    QString out;
    for (QChar c : name)
        out += (c == '/' || c == '\\' || c.unicode() < 0x20) ? QChar('_') : c;
    while (out.startsWith('.'))
        out[0] = '_';
    if (out.toUtf8().size() > 200)
        out = QString::fromUtf8(out.toUtf8().left(200)).remove(QChar(0xfffd));
    return out.trimmed().isEmpty() ? QStringLiteral("_") : out;
}

SoundStore::SoundStore() : m_folder(ProgramFolder::path())
{
    if (!m_folder.endsWith('/'))
        m_folder += '/';
}

SoundStore::~SoundStore()
{
    if (m_committed)
        return;
    for (const QString &f : m_files)
        QFile::remove(f);
    for (auto it = m_folders.crbegin(); it != m_folders.crend(); ++it)
        QDir().rmdir(*it);
}

void SoundStore::commitUsed(const std::set<std::string> &storedForms)
{
    if (m_committed)
        return;
    for (qsizetype i = 0; i < m_files.size(); ++i)
        if (!storedForms.count(m_fileForms[size_t(i)]))
            QFile::remove(m_files[i]);
    // Only folders left empty go; rmdir refuses the others.
    for (auto it = m_folders.crbegin(); it != m_folders.crend(); ++it)
        QDir().rmdir(*it);
    m_committed = true;
}

std::string SoundStore::add(const QString &dictionary, const QString &plainName,
                            const QByteArray &bytes, const QString &source)
{
    const QString key = dictionary + '\n' + plainName;
    for (const auto &[k, stored] : m_done)
        if (k == key)
            return stored;

    // The folder is named after the dictionary, in characters a stored WAVFILE can hold and
    // short enough that "\SOUND\<folder>\<file>" fits the field's 255 characters.
    QString sub = plainMediaName(dictionary).left(100).trimmed();
    if (sub.isEmpty())
        sub = QStringLiteral("_");
    for (const QString &rel : {QStringLiteral("SOUND"), "SOUND/" + sub}) {
        const QString folder = m_folder + rel;
        if (QFileInfo(folder).isDir())
            continue;
        if (!QDir().mkdir(folder))
            throw VocabularyError(source, "cannot create the folder " + folder);
        m_folders << folder;
    }
    const QString folder = m_folder + "SOUND/" + sub + "/";
    QString name = plainName;
    const qsizetype dot = name.lastIndexOf('.');
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString ext = dot > 0 ? name.mid(dot) : QString();
    for (int n = 2;; ++n) {
        QFile existing(folder + name);
        if (!existing.exists())
            break;
        // The same sound imported again is shared, never copied twice.
        if (existing.size() == bytes.size() && existing.open(QIODevice::ReadOnly) &&
            existing.readAll() == bytes)
            break;
        name = stem + "-" + QString::number(n) + ext;
    }
    const QString path = folder + name;
    std::string stored = Text::toCp1251(StoredSoundName(path));
    if (!QFileInfo::exists(path)) {
        QFile out(path);
        if (!out.open(QIODevice::WriteOnly | QIODevice::NewOnly) || out.write(bytes) != bytes.size()) {
            out.remove();
            throw VocabularyError(source, "cannot write the sound " + path);
        }
        m_files << path;
        m_fileForms.push_back(stored);
    }
    m_done.emplace_back(key, stored);
    return stored;
}

std::vector<ImportRecord> recordsOf(const VocabGroup &group, const QString &dictionary,
                                    SoundSource *sounds, SoundStore &store, const QString &source,
                                    int *lost)
{
    std::vector<ImportRecord> out;
    out.reserve(group.entries.size());
    // The texts are converted about a thousand characters at a time: one conversion per word
    // costs more than the words, and a conversion's cost after each character it must replace
    // grows with its length. The texts hold no line ends (they are folded to spaces on
    // reading), so a line end separates them and comes back as itself.
    const size_t count = group.entries.size();
    for (size_t first = 0; first < count;) {
        QString chunk;
        size_t last = first;
        for (; last < count && chunk.size() < 1024; ++last) {
            const VocabEntry &e = group.entries[last];
            for (const QString *t : {&e.word1, &e.word2, &e.transcript}) {
                QString one = *t;
                one.replace(QChar('\n'), QChar(' '));
                chunk += one;
                chunk += QChar('\n');
            }
        }
        int missing = 0;
        const std::string bytes = Text::toCp1251(chunk, &missing);
        if (lost)
            *lost += missing;
        size_t at = 0;
        auto next = [&] {
            const size_t end = bytes.find('\n', at);
            std::string part = bytes.substr(at, end - at);
            at = end == std::string::npos ? bytes.size() : end + 1;
            return part;
        };
        for (size_t i = first; i < last; ++i) {
            ImportRecord r;
            r.word1 = next();
            r.word2 = next();
            r.transcript = next();
            const VocabEntry &e = group.entries[i];
            if (!e.sound.isEmpty() && sounds)
                r.wavFile = store.add(dictionary, e.sound, sounds->read(e.sound), source);
            out.push_back(std::move(r));
        }
        first = last;
    }
    return out;
}

bool isVocabularyFile(const QString &path)
{
    const QString p = path.toLower();
    return p.endsWith(".kvtml") || p.endsWith(".apkg") || p.endsWith(".colpkg");
}

Prepared prepare(const QString &path, const ReadOptions &options, const QString &base)
{
    Prepared p;
    p.vocabulary = read(path, options);
    Vocabulary &v = p.vocabulary;
    if (v.groups.empty())
        v.groups.push_back({});
    const bool several = v.groups.size() > 1;
    p.sounds = std::make_unique<SoundStore>();
    for (const VocabGroup &g : v.groups) {
        PreparedDictionary d;
        d.name = dictionaryNameFor(base, g.name, several);
        for (const PreparedDictionary &other : p.dictionaries)
            if (other.name.compare(d.name, Qt::CaseInsensitive) == 0)
                throw VocabularyError(v.path, "two lessons or decks would both fill the dictionary \"" + d.name + "\"");
        d.records = recordsOf(g, d.name, v.sounds.get(), *p.sounds, v.path, &p.lostCharacters);
        p.dictionaries.push_back(std::move(d));
    }
    return p;
}

PackageReader packageReader = nullptr;
QString packageModuleFile = QStringLiteral("wordpop-anki.so");

Vocabulary read(const QString &path, const ReadOptions &options)
{
    if (path.toLower().endsWith(".kvtml"))
        return KvtmlReader::readFile(path, options);
    if (!packageReader) {
        static QString problem;
        static const PackageReader loaded = [] {
            using Entry = PackageReader (*)(int version);
            auto entry = reinterpret_cast<Entry>(Modules::entry(packageModuleFile, "wordpop_anki_module", &problem));
            PackageReader reader = entry ? entry(kPackageModuleVersion) : nullptr;
            if (entry && !reader)
                problem = QStringLiteral("%1 belongs to another version of the program").arg(packageModuleFile);
            return reader;
        }();
        if (!loaded)
            throw VocabularyError(path, "Anki packages cannot be read here: " + problem);
        packageReader = loaded;
    }
    return packageReader(path, options);
}

} // namespace Vocab
