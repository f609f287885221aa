// The tray icon and the tray menu; see TrayMenu.h.
#include "shell/TrayMenu.h"

#include "messages/Information.h"
#include "platform/Tray.h"
#include "settings/WindowPlacement.h"
#include "shell/Scheduler.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

TFTrayMenu *FTrayMenu = nullptr;

namespace {
const QString kTip = QStringLiteral("Wordpop is running");
}

TFTrayMenu::TFTrayMenu(TLessonWindow &lesson, TOptions &options, QWidget *parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      m_lesson(lesson), m_options(options), m_tray(TrayIcon::create())
{
    setObjectName(QStringLiteral("TFTrayMenu"));
    setWindowTitle(QStringLiteral("Wordpop"));
    setWindowIcon(TrayIcons::lessonsOn());
    setFixedSize(113, 113);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    PMenu = new QFrame(this);
    PMenu->setObjectName(QStringLiteral("PMenu"));
    PMenu->setFrameStyle(QFrame::Panel | QFrame::Raised);
    PMenu->setLineWidth(2);
    outer->addWidget(PMenu);

    auto *column = new QVBoxLayout(PMenu);
    column->setContentsMargins(6, 4, 6, 6);
    column->setSpacing(3);
    CBAutoShow = new QCheckBox(tr("Автопоказ"), PMenu);
    CBAutoShow->setObjectName(QStringLiteral("CBAutoShow"));
    column->addWidget(CBAutoShow);
    auto button = [&](const char *name, const QString &caption) {
        auto *b = new QPushButton(caption, PMenu);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        column->addWidget(b);
        return b;
    };
    BAddWord = button("BAddWord", tr("Добавить"));
    BOptions = button("BOptions", tr("Настройки"));
    BQuit = button("BQuit", tr("Выход"));

    connect(CBAutoShow, &QCheckBox::clicked, this, &TFTrayMenu::CBAutoShowClick);
    connect(BAddWord, &QPushButton::clicked, this, &TFTrayMenu::BAddWordClick);
    connect(BOptions, &QPushButton::clicked, this, &TFTrayMenu::BOptionsClick);
    connect(BQuit, &QPushButton::clicked, this, &TFTrayMenu::BQuitClick);
    InstallHelpKey(this);
    UpdateControls();

    connect(m_tray.get(), &TrayIcon::leftButtonDown, this, &TFTrayMenu::TrayLeftButtonDown);
    connect(m_tray.get(), &TrayIcon::rightButtonDown, this, &TFTrayMenu::TrayRightButtonDown);
    m_tray->add(m_options.AutoShow ? TrayIcons::lessonsOn() : TrayIcons::lessonsOff(), kTip);
}

TFTrayMenu::~TFTrayMenu()
{
    disconnect(m_deactivation);
    m_tray->remove();
    if (FTrayMenu == this)
        FTrayMenu = nullptr;
}

void TFTrayMenu::UpdateControls()
{
    BAddWord->setEnabled(bool(RunAddWord));
    BOptions->setEnabled(bool(RunOptions));
}

void TFTrayMenu::TrayLeftButtonDown()
{
    if (isVisible())
        hide();
    if (!m_lesson.LessonVisible())
        m_lesson.ShowLesson();
    m_lesson.BringToFront();
}

void TFTrayMenu::TrayRightButtonDown()
{
    // No menu over a lesson, nor a second one while a dialog from it is open.
    if (!m_lesson.LessonVisible() && !m_busy) {
        Popup(QCursor::pos());
    } else if (QWidget *dialog = QApplication::activeModalWidget()) {
        // The dialog opened from the menu (or from the lesson) is what the user is after.
        dialog->raise();
        dialog->activateWindow();
    } else if (m_lesson.LessonVisible()) {
        m_lesson.BringToFront();
    }
    WatchDeactivation();
}

void TFTrayMenu::Popup(QPoint cursor)
{
    CBAutoShow->setChecked(m_options.AutoShow);
    // A child can neither end the program nor stop the lessons from here.
    const bool children = m_options.ChildrenMode;
    BQuit->setEnabled(!children);
    CBAutoShow->setEnabled(!children);
    UpdateControls();
    MoveAndFit(this, cursor.x() - width(), cursor.y() - height(), false);
    show();
    raise();
    activateWindow();
    WatchDeactivation();
}

void TFTrayMenu::WatchDeactivation()
{
    if (m_deactivation)
        return;
    m_deactivation = connect(qGuiApp, &QGuiApplication::applicationStateChanged, this,
                             [this](Qt::ApplicationState state) {
                                 if (state == Qt::ApplicationActive)
                                     return;
                                 disconnect(m_deactivation);
                                 m_deactivation = {};
                                 if (isVisible())
                                     hide();
                             });
}

void TFTrayMenu::changeEvent(QEvent *event)
{
    // Another window of Wordpop taking the focus closes the menu as well.
    if (event->type() == QEvent::ActivationChange && isVisible() && !isActiveWindow())
        hide();
    QWidget::changeEvent(event);
}

void TFTrayMenu::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TFTrayMenu::ShowAutoShowIcon()
{
    m_tray->setIcon(m_options.AutoShow ? TrayIcons::lessonsOn() : TrayIcons::lessonsOff());
}

void TFTrayMenu::CBAutoShowClick(bool checked)
{
    // Not saved: every start has automatic lessons on again.
    m_options.AutoShow = checked;
    ShowAutoShowIcon();
}

void TFTrayMenu::RunBusy(const std::function<void()> &dialog)
{
    if (m_busy)
        return;
    m_busy = true;
    const bool autoShow = m_options.AutoShow;
    m_options.AutoShow = false;
    hide();
    struct Restore {
        TFTrayMenu *menu;
        bool autoShow;
        ~Restore()
        {
            menu->m_options.AutoShow = autoShow;
            menu->m_busy = false;
        }
    } restore{this, autoShow};
    dialog();
}

void TFTrayMenu::BAddWordClick()
{
    if (!RunAddWord)
        return;
    RunBusy([this] { RunAddWord(); });
}

void TFTrayMenu::BOptionsClick()
{
    if (!RunOptions)
        return;
    RunBusy([this] {
        RunOptions(QCursor::pos());
        m_lesson.ApplySettings();
    });
}

void TFTrayMenu::BQuitClick()
{
    m_lesson.SetQuitting();
    hide();
    // exit(), not quit(): quit() first asks every window to close, and the trainer refuses.
    if (OnQuit)
        OnQuit();
    else
        QCoreApplication::exit(0);
}
