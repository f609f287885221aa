// The shared message window. Keys are read by the window before its buttons (as a form with key
// preview does), so Enter means "yes" in a question whichever button has the focus.
#include "messages/Message.h"

#include "messages/ButtonIcons.h"
#include "messages/Information.h"
#include "messages/StayAbove.h"

#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <QFile>

TFMessage *FMessage = nullptr;

namespace {

QFrame *makeBackground(QWidget *parent, const char *name, const QColor &colour)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(name);
    panel->setGeometry(0, 0, 337, 73);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, colour);
    pal.setColor(QPalette::WindowText, Qt::black);
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);
    return panel;
}

QPushButton *makeButton(QWidget *bar, const char *name, const QString &caption,
                        QStyle::StandardPixmap icon, int x)
{
    auto *b = new QPushButton(caption, bar);
    SetStandardIconOnShow(b, icon);
    b->setObjectName(name);
    b->setGeometry(x, 2, 96, 25);
    // Enter is the window's business, not the focused button's.
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

// The same letter keys on a Russian layout, so the answer keys work whatever layout is active.
bool isKey(int key, int latin, char16_t cyrillic)
{
    return key == latin || key == int(QChar(cyrillic).toUpper().unicode());
}

} // namespace

TFMessage::TFMessage(QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName("FMessage");
    setModal(true);
    setFixedSize(336, 102);

    PWarning = makeBackground(this, "PWarning", QColor(0xFF, 0xFF, 0xC0));
    PError = makeBackground(this, "PError", QColor(0xFF, 0xA0, 0xA0));

    PText = new QWidget(this);
    PText->setObjectName("PText");
    PText->setGeometry(6, 4, 324, 65);
    LText = new QLabel(PText);
    LText->setObjectName("LText");
    LText->setGeometry(0, 0, 324, 65);
    LText->setAlignment(Qt::AlignCenter);
    LText->setWordWrap(true);
    LText->setTextFormat(Qt::PlainText);
    QPalette lp = LText->palette();
    lp.setColor(QPalette::WindowText, Qt::black);
    LText->setPalette(lp);

    PQuestionBar = new QWidget(this);
    PQuestionBar->setObjectName("PQuestionBar");
    PQuestionBar->setGeometry(0, 73, 336, 29);
    BYes = makeButton(PQuestionBar, "BYes", tr("Да"), QStyle::SP_DialogYesButton, 12);
    BNo = makeButton(PQuestionBar, "BNo", tr("Нет"), QStyle::SP_DialogNoButton, 120);
    BCancel = makeButton(PQuestionBar, "BCancel", tr("Отмена"), QStyle::SP_DialogCancelButton, 228);

    PNoticeBar = new QWidget(this);
    PNoticeBar->setObjectName("PNoticeBar");
    PNoticeBar->setGeometry(0, 73, 336, 29);
    BOk = makeButton(PNoticeBar, "BOk", QStringLiteral("Ok"), QStyle::SP_DialogOkButton, 120);

    connect(BYes, &QPushButton::clicked, this, [this] { done(Yes); });
    connect(BNo, &QPushButton::clicked, this, [this] { done(No); });
    connect(BCancel, &QPushButton::clicked, this, [this] { done(Cancel); });
    connect(BOk, &QPushButton::clicked, this, [this] { done(Cancel); });

    for (QWidget *w : {static_cast<QWidget *>(this), static_cast<QWidget *>(BYes),
                       static_cast<QWidget *>(BNo), static_cast<QWidget *>(BCancel),
                       static_cast<QWidget *>(BOk)})
        w->installEventFilter(this);

    SetPicture(Warning);
    SetButtons(Question);
}

void TFMessage::SetPicture(int picture)
{
    if (picture != Warning && picture != Error)
        return;
    m_picture = picture;
    PWarning->setVisible(picture == Warning);
    PError->setVisible(picture == Error);
}

void TFMessage::SetButtons(int buttons)
{
    if (buttons != Question && buttons != Notice)
        return;
    m_buttonSet = buttons;
    PQuestionBar->setVisible(buttons == Question);
    PNoticeBar->setVisible(buttons == Notice);
}

int TFMessage::AskQuestion(const QString &caption, const QString &text, int picture, int buttons)
{
    setWindowTitle(caption);
    // Texts written for Windows break lines with CR LF; the label wants a bare line feed.
    LText->setText(QString(text).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    SetPicture(picture);
    SetButtons(buttons);
    (m_buttonSet == Question ? BYes : BOk)->setFocus();
    StayAbove(this, nullptr);
    // A dialog is centred anew at every show unless it was placed; keep where the user left it.
    if (m_shownBefore && !testAttribute(Qt::WA_Moved))
        move(m_lastPos);
    if (TestHook *hook = TestHook::current()) {
        const int answer = hook->take({caption, text, m_picture, m_buttonSet}, Cancel);
        QTimer::singleShot(0, this, [this, answer] { done(answer); });
    } else if (const QString log = qEnvironmentVariable("WORDPOP_MESSAGE_LOG"); !log.isEmpty()) {
        // A program run by a test: say what would have been asked, answer as Esc would.
        QFile f(log);
        if (f.open(QIODevice::Append))
            f.write(text.toUtf8() + '\n');
        return Cancel;
    }
    return exec();
}

void TFMessage::hideEvent(QHideEvent *event)
{
    m_shownBefore = true;
    m_lastPos = pos();
    QDialog::hideEvent(event);
}

void TFMessage::reject()
{
    // Closing the window from its system menu counts as cancel, as Esc does.
    done(Cancel);
}

bool TFMessage::FormKeyDown(int key)
{
    if (key == Qt::Key_F1) {
        ShowInformation(this);
        return true;
    }
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (m_buttonSet == Question) {
        if (enter || isKey(key, Qt::Key_Y, u'н'))
            done(Yes);
        else if (key == Qt::Key_Escape || isKey(key, Qt::Key_C, u'с'))
            done(Cancel);
        else if (isKey(key, Qt::Key_N, u'т'))
            done(No);
        else
            return false;
        return true;
    }
    if (enter || key == Qt::Key_Escape) {
        done(Cancel);
        return true;
    }
    return false;
}

bool TFMessage::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        auto *ke = static_cast<QKeyEvent *>(event);
        if (FormKeyDown(ke->key()))
            return true;
        // Letters that mean nothing here must not reach the buttons either.
        if (!ke->text().isEmpty() && ke->text().at(0).isLetter())
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

int AskQuestion(const QString &caption, const QString &text, int picture, int buttons)
{
    if (!FMessage)
        FMessage = new TFMessage();
    return FMessage->AskQuestion(caption, text, picture, buttons);
}
