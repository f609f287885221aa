// Layout names from "langs.dat" and the switch of a group's fields to its layout. The installed
// layouts come from the platform layer, which names them "0000" + language code as the settings do.
#include "settings/Lang.h"

#include "platform/KeyboardLayouts.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "platform/Text.h"

#include <QEvent>
#include <QFile>
#include <QFont>
#include <QSet>
#include <QWidget>

namespace {

// The language code of an identifier, or empty when its length is neither 4 nor 8.
QString codeOf(const QString &identifier)
{
    return IsLayoutIdentifier(identifier) ? identifier.right(4) : QString();
}

QStringList programLanguages()
{
    QStringList languages;
    LoadLanguageList(languages);
    return languages;
}

} // namespace

bool LoadLanguageList(QStringList &languages, QString *error)
{
    languages.clear();
    const QString path = ProgramFolder::findCaseInsensitive(ProgramFolder::path() + kLanguageListName);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QString("Cannot open file \"%1\". %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QString("Cannot read file \"%1\". %2").arg(path, file.errorString());
        return false;
    }
    // Lines end in CR LF (the format's own) or LF; a last line without an end counts.
    QList<QByteArray> lines = bytes.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        languages.append(Text::fromCp1251(line.toStdString()));
    }
    return true;
}

void ListKeyboardLayouts(const QStringList &languages, QStringList &result)
{
    const KeyboardLayouts::State s = KeyboardLayouts::state();
    const int count = s.layouts.size();
    QSet<QString> seen;
    for (int step = 1; step <= count; ++step) {
        const KeyboardLayouts::Layout &l = s.layouts.at((s.active + step) % count);
        // Two groups with one language are one layout under our names.
        const QString key = l.identifier.isEmpty() ? l.xkbName : l.identifier.toUpper();
        if (seen.contains(key))
            continue;
        seen.insert(key);
        const QString name = l.identifier.isEmpty() ? QString() : LayoutName(languages, l.identifier);
        if (name.isEmpty())
            MessageBox::show("Unknown layout : " + (l.identifier.isEmpty() ? l.xkbName : codeOf(l.identifier)));
        else
            result.append(name);
    }
}

void LoadKeyboardLayoutByName(const QString &identifier)
{
    KeyboardLayouts::activate(identifier);
}

bool IsLayoutIdentifier(const QString &identifier)
{
    return identifier.size() == 4 || identifier.size() == 8;
}

QString LayoutName(const QStringList &languages, const QString &identifier)
{
    const QString code = codeOf(identifier);
    if (code.isEmpty())
        return QString();
    for (const QString &line : languages) {
        const qsizetype eq = line.indexOf('=');
        if (eq >= 0 && line.left(eq).compare(code, Qt::CaseInsensitive) == 0)
            return line.mid(eq + 1);
    }
    return QString();
}

QString LayoutName(const QString &identifier)
{
    return LayoutName(programLanguages(), identifier);
}

QString LayoutCode(const QStringList &languages, const QString &name)
{
    for (const QString &line : languages) {
        if (line.size() >= 5 && line.at(4) == '=' && line.mid(5) == name)
            return line.left(4);
    }
    return QString();
}

QString LayoutCode(const QString &name)
{
    return LayoutCode(programLanguages(), name);
}

QString GroupLayout(int group, const TOptions &o)
{
    switch (group) {
    case 0:
        return OptionText(o.StudiedLayout);
    case 1:
        return OptionText(o.NativeLayout);
    case 2:
        return OptionText(o.TranscriptionLayout);
    default:
        return QString();
    }
}

void SwitchToGroupLayout(int group, const TOptions &o)
{
    if (!o.AutoSwitchLayout)
        return;
    const QString identifier = GroupLayout(group, o);
    if (!identifier.isEmpty())
        LoadKeyboardLayoutByName(identifier);
}

void SetLanguageFont(QWidget *widget, int group, const TOptions &o)
{
    if (!widget || group < 0 || group > 2)
        return;
    QFont font = widget->font();
    ApplyLanguageFont(o, font, group);
    widget->setFont(font);
}

void SetLanguageField(QWidget *field, int group)
{
    if (!field)
        return;
    SetLanguageFont(field, group);
    LayoutOnFocus::install(field, group);
}

LayoutOnFocus::LayoutOnFocus(QWidget *field, int group) : QObject(field), m_group(group)
{
    setObjectName("LayoutOnFocus");
    field->installEventFilter(this);
}

LayoutOnFocus *LayoutOnFocus::install(QWidget *field, int group)
{
    if (LayoutOnFocus *existing = of(field)) {
        existing->setGroup(group);
        return existing;
    }
    return new LayoutOnFocus(field, group);
}

LayoutOnFocus *LayoutOnFocus::of(const QWidget *field)
{
    return field ? field->findChild<LayoutOnFocus *>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

bool LayoutOnFocus::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && watched == parent())
        SwitchToGroupLayout(m_group);
    return QObject::eventFilter(watched, event);
}
