// The shared input-line window: one line of text (a dictionary name, a search text, a password).
// A password is asked masked, so that nobody beside the user reads it. Made once at start-up and
// reused for every call.
#pragma once

#include "platform/ModalHook.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

class TFLineInput : public QDialog {
    Q_OBJECT
public:
    enum Result { Ok = 1, Cancel = 2 };

    explicit TFLineInput(QWidget *parent = nullptr);

    // Caption = prompt, centred on owner (on the screen without one), text fully selected.
    // On "Ok" text takes the field's content and the result is true; otherwise text stays.
    // With masked, what is typed shows as bullets.
    bool AskLine(QWidget *owner, QString &text, const QString &prompt, bool masked = false);

    struct Shown {
        QString prompt;
        QString text;       // the text the field started with
        QWidget *owner;
        bool masked = false;
    };
    struct Answer {
        int result;         // Ok or Cancel
        QString typed;      // what the field holds when it closes
    };
    // Tests: `TFLineInput::TestHook hook; hook.answer({TFLineInput::Ok, "Verbs"});` -- every AskLine
    // while it lives is recorded and answered (cancelled when nothing is queued).
    using TestHook = ModalHook<Shown, Answer>;

    QLineEdit *EText;
    QPushButton *BOk;
    QPushButton *BCancel;

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The one input-line window of the program (null until start-up makes it).
extern TFLineInput *FLineInput;

// AskLine on FLineInput, making it first when start-up has not (tools, tests).
bool AskLine(QWidget *owner, QString &text, const QString &prompt, bool masked = false);
