// The keyboard layouts of the desktop: the XKB groups of the core keyboard, named the way the
// settings store layouts ("0000" + a 4-digit language code). X11 only; every call opens its own
// short connection to $DISPLAY, so a server that comes, goes or changes is always seen as it is.
// Without an X server (or without XKB) the list is empty and switching does nothing.
#pragma once

#include <QList>
#include <QString>

#include <utility>

namespace KeyboardLayouts {

// One XKB group.
struct Layout {
    QString xkbName;     // layout name as the keymap gives it, with "(variant)" when it has one
    QString identifier;  // "0000" + language code ("00000419"), empty when the table lacks the name
};

// What the keyboard holds now: its groups in group order and the locked one.
struct State {
    QList<Layout> layouts;
    int active = -1;     // index into layouts; -1 when there are none
};

// The keyboard's groups and the active one. Empty without X11/XKB.
State state();

// Why the last state() came back empty: "" when it read a keyboard, otherwise a short reason.
QString unavailableReason();

// Locks the keyboard to a group. False when there is no such group or no X server.
bool lockGroup(int group);

// Locks the first group whose identifier equals `identifier` (letter case ignored).
// False, and nothing changes, when no group has it.
bool activate(const QString &identifier);

// The identifier of the active group; empty when unknown or unavailable.
QString activeIdentifier();

// The language code of an XKB layout ("us" -> "0409", "ru" -> "0419"); a variant-specific
// entry ("ch" + "fr" -> "100C") wins over the layout's own. Empty when the table lacks it.
QString languageCode(const QString &layout, const QString &variant = QString());

// Every XKB layout name the table knows ("layout" or "layout(variant)"), with its code.
QList<std::pair<QString, QString>> codeTable();

} // namespace KeyboardLayouts
