// What a screen reader is told of every window: each button, check box and edit has a name.
// The windows are the real ones, made as the program makes them; the tree walked is Qt's
// accessibility tree, the one the AT-SPI bridge hands to Orca.
#include "ProgramGlobals.h"
#include "shell/TrayStartup.h"

#include "common/TestHome.h"
#include "download/Download.h"
#include "download/Progress.h"
#include "engine/DataSet.h"
#include "learning/MainForm.h"
#include "messages/Information.h"
#include "messages/LineInput.h"
#include "messages/Message.h"
#include "platform/ProgramFolder.h"
#include "platform/ServerSite.h"
#include "settings/Options.h"
#include "shell/HiddenWindow.h"
#include "shell/TrayMenu.h"
#include "store/AddWord.h"
#include "store/Dictionaries.h"
#include "store/Duplicates.h"
#include "store/Edit.h"
#include "store/Topics.h"
#include "store/Working.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// The controls a user operates: these must say what they do.
bool Operated(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::ComboBox:
        return true;
    default:
        return false;
    }
}

// Every unnamed control below `iface`, as "Class objectName (role)", hidden ones included:
// a control on a page not shown yet is read as soon as the page is.
void CollectUnnamed(QAccessibleInterface *iface, QStringList &out, int depth = 0)
{
    if (!iface || depth > 64)
        return;
    if (Operated(iface->role()) && iface->text(QAccessible::Name).trimmed().isEmpty()) {
        QObject *o = iface->object();
        out << QStringLiteral("%1 \"%2\" (role 0x%3)")
                   .arg(o ? QString::fromLatin1(o->metaObject()->className()) : QStringLiteral("?"),
                        o ? o->objectName() : QString())
                   .arg(int(iface->role()), 0, 16);
    }
    for (int i = 0; i < iface->childCount(); ++i)
        CollectUnnamed(iface->child(i), out, depth + 1);
}

QStringList UnnamedControls(QWidget *window)
{
    QStringList out;
    CollectUnnamed(QAccessible::queryAccessibleInterface(window), out);
    return out;
}

class Accessibility : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProgramFolder::resolve();
        FNo = new TFNo;
        TWords = new TDbfDataSet;
        TWords->SetExclusive(true);
        Topics = new TTopics(*TWords);
        FWordpop = new TFWordpop(FNo->Images(), *Topics);
        CreateTrayMenu();
        ASSERT_NE(FTrayMenu, nullptr);
        ASSERT_TRUE(FWordpop->InitialLoad());
    }
    void TearDown() override
    {
        DestroyTrayMenu();
        DestroyProgramGlobals();
    }

    TestHome home;
};

TEST_F(Accessibility, EveryWindowNamesItsButtonsCheckBoxesAndEdits)
{
    using Make = std::function<std::unique_ptr<QWidget>()>;
    const struct {
        const char *window;
        Make make;
    } windows[] = {
        {"trainer", [] { return std::unique_ptr<QWidget>(); }},
        {"tray menu", [] { return std::unique_ptr<QWidget>(); }},
        {"options", [] { return std::make_unique<TFOptions>(nullptr, &FNo->Images()); }},
        {"dictionaries", [] { return std::make_unique<TFDictionaries>(*Topics, FNo->Images()); }},
        {"add word", [] { return std::make_unique<TFAddWord>(*Topics, nullptr); }},
        {"edit word", [] { return std::make_unique<TFAddWord>(*Topics, nullptr, true); }},
        {"duplicates",
         [] {
             return std::make_unique<TFDuplicates>(nullptr, QStringLiteral("apple"), QStringLiteral("яблоко"),
                                                   QList<TFDuplicates::Row>{{1, "apple", "яблоко"}});
         }},
        {"information", [] { return std::make_unique<TFInformation>(); }},
        {"line input", [] { return std::make_unique<TFLineInput>(); }},
        {"message", [] { return std::make_unique<TFMessage>(); }},
        {"working", [] { return std::make_unique<TFWorking>(); }},
        {"download", [this] { return std::make_unique<TFDownload>(ServerSettings{}, home.home()); }},
        {"download progress", [] { return std::make_unique<TFProgress>(ServerSettings{}); }},
        {"editor", [] { return std::make_unique<TFEdit>(*Topics); }},
    };
    for (const auto &w : windows) {
        SCOPED_TRACE(w.window);
        std::unique_ptr<QWidget> owned = w.make();
        QWidget *window = owned.get();
        if (!window)
            window = QString::fromLatin1(w.window) == QLatin1String("trainer")
                         ? static_cast<QWidget *>(FWordpop)
                         : static_cast<QWidget *>(FTrayMenu);
        window->show();
        QApplication::processEvents();
        const QStringList unnamed = UnnamedControls(window);
        EXPECT_TRUE(unnamed.isEmpty()) << "unnamed controls in the " << w.window << " window:\n"
                                       << unnamed.join('\n').toStdString();
        window->hide();
    }
}

// The walk itself sees what it must: a plain button without a name is reported, and named
// ones, or ones whose text names them, are not.
TEST(AccessibilityWalk, FindsAnUnnamedButtonAndCheckBox)
{
    QWidget window;
    auto *icon = new QPushButton(&window);
    icon->setObjectName("BIcon");
    auto *box = new QCheckBox(&window);
    box->setObjectName("CBBox");
    new QPushButton(QStringLiteral("Выход"), &window);
    auto *named = new QLineEdit(&window);
    named->setAccessibleName(QStringLiteral("Перевод"));
    const QStringList unnamed = UnnamedControls(&window);
    ASSERT_EQ(unnamed.size(), 2) << unnamed.join('\n').toStdString();
    EXPECT_TRUE(unnamed[0].contains("BIcon"));
    EXPECT_TRUE(unnamed[1].contains("CBBox"));
}

} // namespace
