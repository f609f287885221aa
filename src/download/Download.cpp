// The download window. Relies on the logic in TDownloadList, the progress window for the
// transfer and the dialog layer for the folder picker.
#include "download/Download.h"

#include "download/Progress.h"
#include "messages/Information.h"
#include "platform/Dialogs.h"
#include "platform/ProgramFolder.h"
#include "settings/WindowPlacement.h"

#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

TFDownload::TFDownload(const ServerSettings &server, const QString &programFolder, QWidget *parent)
    : QDialog(parent), m_server(server), m_list(server, programFolder)
{
    setObjectName("FDownload");
    InstallHelpKey(this);
    setWindowTitle(tr("Доступные для загрузки словари"));
    setMinimumSize(350, 250);
    resize(460, 340);

    auto *layout = new QVBoxLayout(this);
    LNoServer = new QLabel(TDownloadList::NoServerText(), this);
    LNoServer->setObjectName("LNoServer");
    LNoServer->setAccessibleName(LNoServer->text());
    LNoServer->setWordWrap(true);
    LNoServer->setVisible(!m_list.HostConfigured());
    layout->addWidget(LNoServer);

    CLBTopics = new QListWidget(this);
    CLBTopics->setObjectName("CLBTopics");
    CLBTopics->setAccessibleName(tr("Словари"));
    layout->addWidget(CLBTopics, 1);

    auto *ticks = new QHBoxLayout;
    BAll = new QPushButton(tr("все"), this);
    BAll->setObjectName("BAll");
    BNothing = new QPushButton(tr("ничего"), this);
    BNothing->setObjectName("BNothing");
    BMShapedButton1 = new QPushButton(tr("Обновить список"), this);
    BMShapedButton1->setObjectName("BMShapedButton1");
    ticks->addWidget(BAll);
    ticks->addWidget(BNothing);
    ticks->addStretch(1);
    ticks->addWidget(BMShapedButton1);
    layout->addLayout(ticks);

    auto *folder = new QHBoxLayout;
    LSaveTo = new QLabel(tr("Сохранить в:"), this);
    LSaveTo->setObjectName("LSaveTo");
    EDirName = new QLineEdit(m_list.TargetFolder, this);
    EDirName->setObjectName("EDirName");
    EDirName->setAccessibleName(LSaveTo->text());
    LSaveTo->setBuddy(EDirName);
    BExplore = new QPushButton(QStringLiteral("…"), this);
    BExplore->setObjectName("BExplore");
    BExplore->setToolTip(QStringLiteral("Choose directory"));
    BExplore->setAccessibleName(BExplore->toolTip());
    folder->addWidget(LSaveTo);
    folder->addWidget(EDirName, 1);
    folder->addWidget(BExplore);
    layout->addLayout(folder);

    auto *buttons = new QHBoxLayout;
    BDownload = new QPushButton(tr("Загрузить"), this);
    BDownload->setObjectName("BDownload");
    BCancel = new QPushButton(tr("Закрыть"), this);
    BCancel->setObjectName("BCancel");
    buttons->addStretch(1);
    buttons->addWidget(BDownload);
    buttons->addWidget(BCancel);
    layout->addLayout(buttons);

    for (QPushButton *b : {BAll, BNothing, BMShapedButton1, BDownload, BCancel}) {
        b->setAccessibleName(b->text());
        b->setAutoDefault(false);
    }
    BAll->setAutoDefault(false);
    // Without a server there is nothing to refresh from or fetch.
    BMShapedButton1->setEnabled(m_list.HostConfigured());
    BDownload->setEnabled(m_list.HostConfigured());

    connect(BAll, &QPushButton::clicked, this, [this] {
        m_list.TickAll(true);
        FillList();
    });
    connect(BNothing, &QPushButton::clicked, this, [this] {
        m_list.TickAll(false);
        FillList();
    });
    connect(BMShapedButton1, &QPushButton::clicked, this, [this] { LoadCatalogue(true); });
    connect(BExplore, &QPushButton::clicked, this, &TFDownload::BExploreClick);
    connect(BDownload, &QPushButton::clicked, this, &TFDownload::BDownloadClick);
    connect(BCancel, &QPushButton::clicked, this, &TFDownload::reject);
    connect(EDirName, &QLineEdit::textEdited, this, [this](const QString &t) { m_list.TargetFolder = t; });
    connect(CLBTopics, &QListWidget::itemChanged, this, [this](QListWidgetItem *item) {
        const int row = CLBTopics->row(item);
        if (row >= 0 && row < int(m_list.Entries().size()))
            m_list.SetTicked(row, item->checkState() == Qt::Checked);
    });

    Runner = [this](const DownloadRequest &r) { return RunWithProgress(r); };
}

void TFDownload::FillList()
{
    const QSignalBlocker block(CLBTopics);
    CLBTopics->clear();
    const QStringList texts = m_list.Texts();
    for (int i = 0; i < texts.size(); ++i) {
        auto *item = new QListWidgetItem(texts[i], CLBTopics);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(m_list.Ticked(i) ? Qt::Checked : Qt::Unchecked);
    }
}

void TFDownload::LoadCatalogue(bool refresh)
{
    if (m_running)
        return;
    if (refresh)
        CLBTopics->clear();
    m_running = true;
    m_list.Load(refresh, Runner);
    m_running = false;
    FillList();
}

DownloadOutcome TFDownload::RunWithProgress(const DownloadRequest &request)
{
    const bool wasVisible = isVisible();
    if (wasVisible)
        hide();
    DownloadOutcome outcome;
    {
        TFProgress progress(m_server, this);
        if (!wasVisible && parentWidget())
            PlaceNear(parentWidget()->window(), &progress, 1);
        outcome = progress.Download(request);
    }
    if (wasVisible)
        show();
    return outcome;
}

void TFDownload::BDownloadClick()
{
    if (m_running)
        return;
    m_list.TargetFolder = EDirName->text();
    m_running = true;
    m_list.Download(Runner);
    m_running = false;
}

void TFDownload::BExploreClick()
{
    const QString folder = Dialogs::pickFolder(this, QStringLiteral("Choose directory"), EDirName->text());
    if (folder.isEmpty())
        return;
    QString text = folder;
    if (!text.endsWith(QLatin1Char('/')))
        text += QLatin1Char('/');
    EDirName->setText(text);
    m_list.TargetFolder = text;
}

void TFDownload::reject()
{
    // Never closed from under a running download (its progress window aborts it instead).
    if (m_running)
        return;
    QDialog::reject();
}

bool TFDownload::Execute()
{
    LoadCatalogue(false);
    // Own loop rather than exec(): hiding the window for the progress must not end it.
    setWindowModality(Qt::ApplicationModal);
    if (parentWidget())
        PlaceNear(parentWidget()->window(), this, 1);
    show();
    QEventLoop loop;
    connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
    loop.exec();
    hide();
    return m_list.FetchedAny();
}

bool RunDownload(QWidget *parent)
{
    const QString folder = ProgramFolder::path();
    TFDownload window(ReadServerSettings(folder), folder, parent);
    return window.Execute();
}
