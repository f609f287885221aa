// The information window: product name, version, release date and the way to the help file.
// F1 in a window opens it next to that window.
#pragma once

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
    };
    // Tests: every ShowInformation while it lives is recorded and closed at once.
    using TestHook = ModalHook<Shown, int>;

    QLabel *LProduct;
    QLabel *LVersion;
    QLabel *LDate;
    QLabel *LFindings; // what the shell found on this desktop; hidden when it says nothing
    QPushButton *BHelp;
    QPushButton *BClose;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// "Wordpop", its version and release date as built.
QString ProductVersion();
QString ReleaseDate();

// Program folder + "wordpop.html".
QString HelpFilePath();

// Opens the help with the desktop's handler for HTML files. A missing or unopenable file is
// reported (error 9 with its path) and gives false.
bool OpenHelp();

// The shell's one line on this desktop (idle source, what holds lessons back), asked each time
// the window opens; null or empty: no line.
void SetInformationFindings(std::function<QString()> findings);

// Opens the information window modally, 10 right of and 30 below the caller's corner
// (centred on the screen without a caller), and returns when it is closed.
void ShowInformation(QWidget *caller);

// Makes F1 anywhere in window open the information window next to it.
void InstallHelpKey(QWidget *window);
