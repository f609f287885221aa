// Keyboard layouts through libX11's XKB extension. The layout names come from the rules names the
// keymap was built with (the root window's _XKB_RULES_NAMES, what setxkbmap and the desktops
// write), else from the keymap's symbols name; the group count and the locked group from XKB.
#include "platform/KeyboardLayouts.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <algorithm>

// Xlib's macros (Bool, None, Status) must come after everything else.
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace KeyboardLayouts {

namespace {

// XKB layout names (and layout(variant) pairs) to language codes, restricted to languages the
// bundled "langs.dat" names. The variant entries are the layouts whose language differs from
// their base layout's.
const std::pair<const char *, const char *> kCodes[] = {
    {"ara", "0401"}, {"bg", "0402"}, {"tw", "0404"}, {"cz", "0405"}, {"dk", "0406"},
    {"de", "0407"}, {"gr", "0408"}, {"us", "0409"}, {"es", "040A"}, {"fi", "040B"},
    {"fr", "040C"}, {"il", "040D"}, {"hu", "040E"}, {"is", "040F"}, {"it", "0410"},
    {"jp", "0411"}, {"kr", "0412"}, {"nl", "0413"}, {"no", "0414"}, {"pl", "0415"},
    {"br", "0416"}, {"ro", "0418"}, {"ru", "0419"}, {"hr", "041A"}, {"sk", "041B"},
    {"al", "041C"}, {"se", "041D"}, {"th", "041E"}, {"tr", "041F"}, {"pk", "0420"},
    {"id", "0421"}, {"ua", "0422"}, {"by", "0423"}, {"si", "0424"}, {"ee", "0425"},
    {"lv", "0426"}, {"lt", "0427"}, {"ir", "0429"}, {"vn", "042A"}, {"am", "042B"},
    {"az", "042C"}, {"mk", "042F"}, {"ge", "0437"}, {"in", "0439"}, {"kz", "043F"},
    {"kg", "0440"}, {"uz", "0443"}, {"ru(tt)", "0444"}, {"bd", "0445"}, {"cn", "0804"},
    {"ch", "0807"}, {"gb", "0809"}, {"be", "080C"}, {"pt", "0816"}, {"rs(latin)", "081A"},
    {"at", "0C07"}, {"au", "0C09"}, {"ca", "0C0C"}, {"rs", "0C1A"}, {"ca(eng)", "1009"},
    {"ch(fr)", "100C"},
};

const QHash<QString, QString> &codes()
{
    static const QHash<QString, QString> table = [] {
        QHash<QString, QString> t;
        for (const auto &[name, code] : kCodes)
            t.insert(QString::fromLatin1(name), QString::fromLatin1(code));
        return t;
    }();
    return table;
}

QString identifierOf(const QString &layout, const QString &variant)
{
    const QString code = languageCode(layout, variant);
    return code.isEmpty() ? QString() : "0000" + code;
}

// One connection for one call, closed on every path.
class Connection {
public:
    Connection()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) {
            m_why = "no X server ($DISPLAY is not set)";
            return;
        }
        int event, error, major = XkbMajorVersion, minor = XkbMinorVersion, reason = 0;
        m_display = XkbOpenDisplay(nullptr, &event, &error, &major, &minor, &reason);
        if (!m_display)
            m_why = reason == XkbOD_NonXkbServer ? "the X server has no XKB extension"
                                                 : "cannot open the X display " + qEnvironmentVariable("DISPLAY");
    }
    ~Connection()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    Display *display() const { return m_display; }
    const QString &why() const { return m_why; }

private:
    Display *m_display = nullptr;
    QString m_why;
};

QString g_why;

// The layout and variant lists of the rules names ("us,ru" and ",phonetic"); false when the
// root window has no such property.
bool rulesLayouts(Display *dpy, QStringList &layouts, QStringList &variants)
{
    const Atom atom = XInternAtom(dpy, "_XKB_RULES_NAMES", True);
    if (atom == None)
        return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), atom, 0, 1024, False, XA_STRING, &type, &format,
                           &count, &after, &data) != Success || !data)
        return false;
    // rules, model, layout, variant, options: strings one after the other, each ending in NUL.
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(count));
    XFree(data);
    if (type != XA_STRING || format != 8)
        return false;
    const QList<QByteArray> fields = bytes.split('\0');
    if (fields.size() < 3 || fields.at(2).isEmpty())
        return false;
    layouts = QString::fromLatin1(fields.at(2)).split(',');
    variants = fields.size() > 3 ? QString::fromLatin1(fields.at(3)).split(',') : QStringList();
    return true;
}

// Layouts from the keymap's symbols name ("pc+us+ru:2+inet(evdev)"): a token with ":N" is group
// N; the first known layout without one is group 1. The rest (pc, inet, group, ...) are not layouts.
void symbolsLayouts(Display *dpy, XkbDescPtr xkb, QStringList &layouts, QStringList &variants)
{
    if (XkbGetNames(dpy, XkbSymbolsNameMask, xkb) != Success || !xkb->names || xkb->names->symbols == None)
        return;
    char *name = XGetAtomName(dpy, xkb->names->symbols);
    if (!name)
        return;
    const QStringList tokens = QString::fromLatin1(name).split('+');
    XFree(name);
    for (QString token : tokens) {
        int group = 0;
        const int colon = token.indexOf(':');
        if (colon >= 0) {
            group = token.mid(colon + 1).toInt() - 1;
            token.truncate(colon);
        }
        QString variant;
        const int paren = token.indexOf('(');
        if (paren >= 0) {
            variant = token.mid(paren + 1).chopped(token.endsWith(')') ? 1 : 0);
            token.truncate(paren);
        }
        if (colon < 0 && (languageCode(token, variant).isEmpty() || !layouts.value(0).isEmpty()))
            continue;
        if (group < 0 || group >= XkbNumKbdGroups)
            continue;
        while (layouts.size() <= group) {
            layouts.append(QString());
            variants.append(QString());
        }
        layouts[group] = token;
        variants[group] = variant;
    }
}

State readState(Display *dpy)
{
    State s;
    XkbDescPtr xkb = XkbAllocKeyboard();
    if (!xkb)
        return s;
    int groups = 0;
    if (XkbGetControls(dpy, XkbAllControlsMask, xkb) == Success && xkb->ctrls)
        groups = xkb->ctrls->num_groups;
    QStringList layouts, variants;
    if (!rulesLayouts(dpy, layouts, variants))
        symbolsLayouts(dpy, xkb, layouts, variants);
    if (groups <= 0)
        groups = std::min<int>(layouts.size(), XkbNumKbdGroups);
    for (int i = 0; i < groups; ++i) {
        const QString layout = layouts.value(i).trimmed();
        const QString variant = variants.value(i).trimmed();
        Layout l;
        l.xkbName = variant.isEmpty() ? layout : layout + "(" + variant + ")";
        l.identifier = identifierOf(layout, variant);
        // A group the names do not cover still shows under the keymap's own name for it.
        if (layout.isEmpty() && XkbGetNames(dpy, XkbGroupNamesMask, xkb) == Success && xkb->names
            && xkb->names->groups[i] != None) {
            if (char *name = XGetAtomName(dpy, xkb->names->groups[i])) {
                l.xkbName = QString::fromUtf8(name);
                XFree(name);
            }
        }
        s.layouts.append(l);
    }
    XkbFreeKeyboard(xkb, 0, True);
    XkbStateRec st;
    if (!s.layouts.isEmpty() && XkbGetState(dpy, XkbUseCoreKbd, &st) == Success)
        s.active = st.group < s.layouts.size() ? st.group : 0;
    return s;
}

bool lockOn(Display *dpy, int group)
{
    if (!XkbLockGroup(dpy, XkbUseCoreKbd, static_cast<unsigned>(group)))
        return false;
    // Wait for the server, so that whoever asks next already sees the new group.
    XSync(dpy, False);
    return true;
}

} // namespace

QString languageCode(const QString &layout, const QString &variant)
{
    const QString base = layout.trimmed().toLower();
    const QString var = variant.trimmed().toLower();
    if (!var.isEmpty()) {
        const auto it = codes().constFind(base + "(" + var + ")");
        if (it != codes().constEnd())
            return *it;
    }
    return codes().value(base);
}

QList<std::pair<QString, QString>> codeTable()
{
    QList<std::pair<QString, QString>> list;
    for (const auto &[name, code] : kCodes)
        list.append({QString::fromLatin1(name), QString::fromLatin1(code)});
    return list;
}

State state()
{
    Connection c;
    g_why = c.why();
    if (!c.display())
        return {};
    State s = readState(c.display());
    if (s.layouts.isEmpty())
        g_why = "the keyboard has no layouts";
    return s;
}

QString unavailableReason()
{
    return g_why;
}

bool lockGroup(int group)
{
    Connection c;
    if (!c.display())
        return false;
    const State s = readState(c.display());
    if (group < 0 || group >= s.layouts.size())
        return false;
    return lockOn(c.display(), group);
}

bool activate(const QString &identifier)
{
    if (identifier.isEmpty())
        return false;
    Connection c;
    if (!c.display())
        return false;
    const State s = readState(c.display());
    for (int i = 0; i < s.layouts.size(); ++i) {
        if (s.layouts.at(i).identifier.compare(identifier, Qt::CaseInsensitive) == 0)
            return lockOn(c.display(), i);
    }
    return false;
}

QString activeIdentifier()
{
    const State s = state();
    return s.active >= 0 ? s.layouts.at(s.active).identifier : QString();
}

} // namespace KeyboardLayouts
