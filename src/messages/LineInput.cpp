// The shared input-line window. Enter in the field only accepts a non-empty line, so a stray
// Enter never creates a dictionary without a name; the "Ok" button accepts whatever is there.
#include "messages/LineInput.h"

#include "messages/ButtonIcons.h"
#include "messages/Information.h"
#include "messages/StayAbove.h"
#include "platform/WorkArea.h"
#include "settings/WindowPlacement.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <QFile>

TFLineInput *FLineInput = nullptr;

namespace {

// Centred on the owner as every child window is; without one, on the work area.
void centreOn(QWidget *owner, QWidget *window)
{
    if (owner) {
        PlaceNear(owner->window(), window, 1);
        return;
    }
    const QRect area = Desktop::workArea();
    window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
    FitOnWorkArea(window);
}

} // namespace

TFLineInput::TFLineInput(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName("FLineInput");
    setModal(true);
    setFixedSize(296, 81);

    EText = new QLineEdit(this);
    EText->setObjectName("EText");
    EText->setGeometry(8, 8, 280, 24);
    EText->setEchoMode(QLineEdit::Normal);
    // The prompt is only the window's title; the field is named after it once it is known.
    EText->setAccessibleName(tr("Текст"));

    BOk = new QPushButton(QStringLiteral("Ok"), this);
    SetStandardIconOnShow(BOk, QStyle::SP_DialogOkButton);
    BOk->setObjectName("BOk");
    BOk->setGeometry(60, 46, 84, 25);
    BCancel = new QPushButton(tr("Отмена"), this);
    SetStandardIconOnShow(BCancel, QStyle::SP_DialogCancelButton);
    BCancel->setObjectName("BCancel");
    BCancel->setGeometry(152, 46, 84, 25);
    for (QPushButton *b : {BOk, BCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(BOk, &QPushButton::clicked, this, [this] { done(Ok); });
    connect(BCancel, &QPushButton::clicked, this, [this] { done(Cancel); });

    for (QObject *o : {static_cast<QObject *>(this), static_cast<QObject *>(EText),
                       static_cast<QObject *>(BOk), static_cast<QObject *>(BCancel)})
        o->installEventFilter(this);
}

bool TFLineInput::AskLine(QWidget *owner, QString &text, const QString &prompt, bool masked)
{
    setWindowTitle(prompt);
    EText->setAccessibleName(prompt);
    EText->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    centreOn(owner, this);
    StayAbove(this, owner);
    EText->setText(text);
    EText->selectAll();
    EText->setFocus();
    if (TestHook *hook = TestHook::current()) {
        const Answer answer = hook->take({prompt, text, owner, masked}, {Cancel, text});
        QTimer::singleShot(0, this, [this, answer] {
            EText->setText(answer.typed);
            done(answer.result);
        });
    } else if (const QString log = qEnvironmentVariable("WORDPOP_MESSAGE_LOG"); !log.isEmpty()) {
        // A program run by a test: say what would have been asked, answer as Esc would.
        QFile f(log);
        if (f.open(QIODevice::Append))
            f.write(prompt.toUtf8() + '\n');
        return false;
    }
    if (exec() != Ok)
        return false;
    text = EText->text();
    return true;
}

void TFLineInput::reject()
{
    done(Cancel);
}

bool TFLineInput::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_F1) {
            ShowInformation(this);
            return true;
        }
        if (key == Qt::Key_Escape) {
            done(Cancel);
            return true;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && watched == EText) {
            if (!EText->text().isEmpty())
                done(Ok);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool AskLine(QWidget *owner, QString &text, const QString &prompt, bool masked)
{
    if (!FLineInput)
        FLineInput = new TFLineInput();
    return FLineInput->AskLine(owner, text, prompt, masked);
}
