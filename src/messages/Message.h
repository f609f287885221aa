// The shared message window: a yes/no/cancel question or a notice with one "Ok" button, on a
// yellow (warning) or red (error) background. Made once at start-up and reused for every call.
#pragma once

#include "platform/ModalHook.h"

#include <QDialog>
#include <QPoint>
#include <QString>

class QFrame;
class QLabel;
class QPushButton;
class QWidget;

class TFMessage : public QDialog {
    Q_OBJECT
public:
    // The framework's modal results, as callers compare them.
    enum Result { Yes = 6, No = 7, Cancel = 2 };
    enum Picture { Warning = 0, Error = 1 };
    enum Buttons { Question = 0, Notice = 1 };

    explicit TFMessage(QWidget *parent = nullptr);

    // Sets caption and text, the background (picture 0 yellow, 1 red) and the button bar
    // (buttons 0 question, 1 notice); any other picture or buttons value keeps the previous one.
    // Shows the window modally where it was last shown and returns 6, 7 or 2.
    int AskQuestion(const QString &caption, const QString &text, int picture, int buttons);

    int ButtonSet() const { return m_buttonSet; }
    int PictureShown() const { return m_picture; }

    // What one question showed.
    struct Shown {
        QString caption;
        QString text;
        int picture;
        int buttons;
    };
    // Tests: `TFMessage::TestHook hook; hook.answer(TFMessage::No);` -- every AskQuestion while it
    // lives is recorded and answered (2 when nothing is queued).
    using TestHook = ModalHook<Shown, int>;

    QFrame *PWarning;
    QFrame *PError;
    QWidget *PText;
    QLabel *LText;
    QWidget *PQuestionBar;
    QWidget *PNoticeBar;
    QPushButton *BYes;
    QPushButton *BNo;
    QPushButton *BCancel;
    QPushButton *BOk;

public slots:
    void reject() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    bool FormKeyDown(int key);
    void SetPicture(int picture);
    void SetButtons(int buttons);

    int m_buttonSet = Question;
    int m_picture = Warning;
    bool m_shownBefore = false;
    QPoint m_lastPos;
};

// The one message window of the program (null until start-up makes it).
extern TFMessage *FMessage;

// AskQuestion on FMessage, making it first when start-up has not (tools, tests).
int AskQuestion(const QString &caption, const QString &text, int picture, int buttons);
