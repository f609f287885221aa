// The standard message box on Qt: QMessageBox without an icon, one OK button.
#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>

namespace MessageBox {

namespace {
TestHook *g_hook = nullptr;
const char *const kCaption = "Wordpop";
} // namespace

TestHook::TestHook() : m_previous(g_hook)
{
    g_hook = this;
}

TestHook::~TestHook()
{
    g_hook = m_previous;
}

TestHook *TestHook::current()
{
    return g_hook;
}

QStringList TestHook::texts() const
{
    QStringList out;
    for (const Shown &s : m_shown)
        out << s.text;
    return out;
}

void show(const QString &text)
{
    // A test driving the program as a child process reads its boxes from a file instead.
    if (!TestHook::current()) {
        const QString log = qEnvironmentVariable("WORDPOP_MESSAGE_LOG");
        if (!log.isEmpty()) {
            QFile f(log);
            if (f.open(QIODevice::WriteOnly | QIODevice::Append))
                f.write((text + QLatin1Char('\n')).toUtf8());
            return;
        }
    }
    // Without a widget application (a command-line tool) there is no box to show.
    if (!qobject_cast<QApplication *>(QCoreApplication::instance())) {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kCaption), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    if (TestHook *hook = TestHook::current()) {
        // Answered from inside exec(), the way a user would, once the box is up.
        QTimer::singleShot(0, &box, [&box, hook] {
            Shown s{box.windowTitle(), box.text(), {}};
            for (QAbstractButton *b : box.buttons())
                s.buttons << b->text();
            hook->record(s);
            if (QAbstractButton *ok = box.button(QMessageBox::Ok))
                ok->click();
            else
                box.done(QMessageBox::Ok);
        });
    }
    box.exec();
}

} // namespace MessageBox
