// Keyboard layouts of the three language groups (0 studied, 1 native, 2 transcription): their
// readable names from "langs.dat" in the program folder, the list of installed layouts, and the
// switch to a group's layout when one of its fields gets the focus. Fonts: ApplyLanguageFont
// (settings/TOptions.h). Relies on the keyboard-layout layer (platform/KeyboardLayouts.h).
#pragma once

#include "settings/TOptions.h"

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

// The name of the language list in the program folder.
inline constexpr const char *kLanguageListName = "langs.dat";

// Reads "langs.dat" of the program folder (Windows-1251), one entry per line. False, with the
// list empty and a readable reason in *error, when the file is missing or unreadable.
bool LoadLanguageList(QStringList &languages, QString *error = nullptr);

// Appends the names of the installed layouts, each once: from the one after the active layout
// round to the active one. A layout "langs.dat" does not name is left out and shows
// "Unknown layout : " + its code (its XKB name when it has no code). Switches nothing.
void ListKeyboardLayouts(const QStringList &languages, QStringList &result);

// Makes the installed layout with this identifier ("00000419") active. An identifier no
// installed layout has, or no X server, changes nothing. Consults no setting.
void LoadKeyboardLayoutByName(const QString &identifier);

// An identifier LayoutName accepts: a language code (4 characters) or a layout (8 characters).
bool IsLayoutIdentifier(const QString &identifier);

// The name "langs.dat" gives the identifier's language code (its last 4 characters), letter
// case ignored; empty when the code is not listed or the identifier is neither 4 nor 8 long.
QString LayoutName(const QStringList &languages, const QString &identifier);
QString LayoutName(const QString &identifier);   // reads "langs.dat" of the program folder

// The code of the line that is exactly code "=" name (code 4 characters); empty when none.
QString LayoutCode(const QStringList &languages, const QString &name);
QString LayoutCode(const QString &name);         // reads "langs.dat" of the program folder

// The stored layout of a language group; empty for a group other than 0, 1, 2.
QString GroupLayout(int group, const TOptions &o = Options);

// The switch on entry: makes the group's stored layout active unless AutoSwitchLayout is clear.
void SwitchToGroupLayout(int group, const TOptions &o = Options);

// Gives a widget the font of a language group (ApplyLanguageFont on a copy of its font, so that
// size and style stay). A group other than 0, 1, 2 leaves it alone.
void SetLanguageFont(QWidget *widget, int group, const TOptions &o = Options);

// A field of a language group: its font, and its layout on entry (LayoutOnFocus).
void SetLanguageField(QWidget *field, int group);

// Switches to a language group's layout whenever its widget gets the focus (through
// SwitchToGroupLayout, so AutoSwitchLayout is honoured). One per widget, owned by it.
class LayoutOnFocus : public QObject {
    Q_OBJECT
public:
    // Installs the switch on `field`, or retargets the one it has, to `group`.
    static LayoutOnFocus *install(QWidget *field, int group);
    // The switch installed on `field`, or null.
    static LayoutOnFocus *of(const QWidget *field);

    int group() const { return m_group; }
    void setGroup(int group) { m_group = group; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    LayoutOnFocus(QWidget *field, int group);
    int m_group;
};
