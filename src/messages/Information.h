// The information window: product name, version, release date and the way to the help file.
// F1 in a window opens it next to that window.
#pragma once

#include "platform/Language.h"
#include "platform/ModalHook.h"

#include <QDialog>
#include <functional>
#include <QPoint>
#include <QString>

class QLabel;
class QPushButton;

class TFInformation : public QDialog {
    Q_OBJECT
public:
    explicit TFInformation(QWidget *parent = nullptr);

    struct Shown {
        QWidget *caller;
        QPoint position;    // where the window was placed
        QString section;    // where its help button opens the help
    };
    // Tests: every ShowInformation while it lives is recorded and closed at once.
    using TestHook = ModalHook<Shown, int>;

    QLabel *LProduct;
    QLabel *LVersion;
    QLabel *LDate;
    QLabel *LFindings; // what the shell found on this desktop; hidden when it says nothing
    QPushButton *BHelp;
    QPushButton *BClose;

    // The help section of the window that asked; empty: the top of the help.
    QString Section;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// "Wordpop", its version and release date as built.
QString ProductVersion();
QString ReleaseDate();

// The help of each interface language, in the program folder: "wordpop.html" (Russian) and
// "wordpop.en.html" (English), with the same section ids.
QString HelpFileName(Language::Ui ui);

// Program folder + the help of that language; the Russian help when the English one is missing.
QString HelpFilePath(Language::Ui ui = Language::Current());

// The help section of a window, from its class: the one table behind F1. Empty for a window
// the help has no section of its own for.
QString HelpSection(const QWidget *window);

// Opens the help at the section with the desktop's handler for HTML files. A missing or
// unopenable file is reported (error 9 with its path) and gives false.
bool OpenHelp(const QString &section = QString(), Language::Ui ui = Language::Current());

// The shell's one line on this desktop (idle source, what holds lessons back), asked each time
// the window opens; null or empty: no line.
void SetInformationFindings(std::function<QString()> findings);

// Opens the information window modally, 10 right of and 30 below the caller's corner
// (centred on the screen without a caller), and returns when it is closed. Its help button
// and F1 open the help at the caller's section.
void ShowInformation(QWidget *caller);

// Makes F1 anywhere in window open the information window next to it.
void InstallHelpKey(QWidget *window);
