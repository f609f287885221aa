// The information window and the F1 key that leads to it. The version and the release date come
// from the build (extra.cmake), so the window never disagrees with the package.
#include "messages/Information.h"

#include "messages/ShowError.h"
#include "platform/ProgramFolder.h"
#include "settings/WindowPlacement.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#ifndef WORDPOP_VERSION
#error "WORDPOP_VERSION comes from src/messages/extra.cmake"
#endif

namespace {

class HelpKeyFilter : public QObject {
public:
    explicit HelpKeyFilter(QWidget *window) : QObject(window), m_window(window) {}

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F1) {
            ShowInformation(m_window);
            return true;
        }
        return false;
    }

private:
    QWidget *m_window;
};

std::function<QString()> g_findings;

} // namespace

void SetInformationFindings(std::function<QString()> findings)
{
    g_findings = std::move(findings);
}

QString ProductVersion()
{
    return QStringLiteral(WORDPOP_VERSION);
}

QString ReleaseDate()
{
    return QStringLiteral(WORDPOP_RELEASE_DATE);
}

QString HelpFileName(Language::Ui ui)
{
    return ui == Language::Ui::English ? QStringLiteral("wordpop.en.html") : QStringLiteral("wordpop.html");
}

QString HelpFilePath(Language::Ui ui)
{
    const QString folder = ProgramFolder::path();
    const QString path = ProgramFolder::findCaseInsensitive(folder + HelpFileName(ui));
    // Russian help is better than none for a reader of English.
    if (ui != Language::Ui::Russian && !QFileInfo::exists(path))
        return ProgramFolder::findCaseInsensitive(folder + HelpFileName(Language::Ui::Russian));
    return path;
}

QString HelpSection(const QWidget *window)
{
    // Window class -> id of its section; both help files carry every id named here.
    static const QHash<QString, QString> sections = {
        {"TFWordpop", "lesson"},
        {"TFTrayMenu", "tray"},
        {"TFOptions", "settings"},
        {"TFDictionaries", "dictionaries"},
        {"TFEdit", "editor"},
        {"TFAddWord", "addword"},
        {"TFDuplicates", "duplicates"},
        {"TFWorking", "import"},
        {"TFDownload", "download"},
        {"TFProgress", "download-progress"},
        {"TFMessage", "messages"},
        {"TFLineInput", "line-input"},
    };
    if (!window)
        return {};
    // A window with pages names the section of the page in front.
    const QString own = window->window()->property("helpSection").toString();
    if (!own.isEmpty())
        return own;
    return sections.value(QString::fromLatin1(window->window()->metaObject()->className()));
}

bool OpenHelp(const QString &section, Language::Ui ui)
{
    const QString path = HelpFilePath(ui);
    if (!QFileInfo(path).isFile() || !QFileInfo(path).isReadable()) {
        ShowError(9, path);
        return false;
    }
    QUrl url = QUrl::fromLocalFile(path);
    if (!section.isEmpty())
        url.setFragment(section);
    if (!QDesktopServices::openUrl(url)) {
        ShowError(9, path);
        return false;
    }
    return true;
}

TFInformation::TFInformation(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName("FInformation");
    setWindowTitle(tr("Информация"));
    setModal(true);

    LProduct = new QLabel(QStringLiteral("Wordpop"), this);
    LProduct->setObjectName("LProduct");
    QFont big = LProduct->font();
    big.setPointSizeF(big.pointSizeF() * 1.8);
    big.setBold(true);
    LProduct->setFont(big);
    LProduct->setAlignment(Qt::AlignCenter);

    auto *tagline = new QLabel(tr("Тренажёр для пополнения словарного запаса"), this);
    tagline->setAlignment(Qt::AlignCenter);

    LVersion = new QLabel(tr("Версия %1").arg(ProductVersion()), this);
    LVersion->setObjectName("LVersion");
    LVersion->setAlignment(Qt::AlignCenter);
    LDate = new QLabel(tr("Дата выпуска: %1").arg(ReleaseDate()), this);
    LDate->setObjectName("LDate");
    LDate->setAlignment(Qt::AlignCenter);

    LFindings = new QLabel(g_findings ? g_findings() : QString(), this);
    LFindings->setObjectName("LFindings");
    LFindings->setAccessibleName(tr("Пауза и ожидание урока"));
    LFindings->setWordWrap(true);
    LFindings->setAlignment(Qt::AlignCenter);
    LFindings->setVisible(!LFindings->text().isEmpty());

    BHelp = new QPushButton(style()->standardIcon(QStyle::SP_DialogHelpButton), tr("Справка"), this);
    BHelp->setObjectName("BHelp");
    BClose = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton), tr("Закрыть"), this);
    BClose->setObjectName("BClose");
    BClose->setDefault(true);
    connect(BHelp, &QPushButton::clicked, this, [this] { OpenHelp(Section); });
    connect(BClose, &QPushButton::clicked, this, &QDialog::accept);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BHelp);
    buttons->addWidget(BClose);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LProduct);
    layout->addWidget(tagline);
    layout->addSpacing(6);
    layout->addWidget(LVersion);
    layout->addWidget(LDate);
    layout->addWidget(LFindings);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TFInformation::keyPressEvent(QKeyEvent *event)
{
    // F1 here goes one step further: to the help itself.
    if (event->key() == Qt::Key_F1) {
        OpenHelp(Section);
        return;
    }
    QDialog::keyPressEvent(event);
}

void ShowInformation(QWidget *caller)
{
    TFInformation window(caller);
    window.Section = HelpSection(caller);
    window.adjustSize();
    if (caller) {
        PlaceNear(caller->window(), &window, 0);
    } else if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
    }
    if (TFInformation::TestHook *hook = TFInformation::TestHook::current()) {
        const int answer = hook->take({caller, window.pos(), window.Section}, QDialog::Accepted);
        QTimer::singleShot(0, &window, [&window, answer] { window.done(answer); });
    }
    window.exec();
}

void InstallHelpKey(QWidget *window)
{
    window->installEventFilter(new HelpKeyFilter(window));
}
