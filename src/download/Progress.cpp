// The progress window. Relies on the run for everything it shows.
#include "download/Progress.h"
#include "messages/Information.h"

#include "settings/WindowPlacement.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

TFProgress::TFProgress(const ServerSettings &server, QWidget *owner)
    : QWidget(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      m_owner(owner), m_run(server)
{
    setObjectName("FProgress");
    InstallHelpKey(this);
    setWindowTitle(tr("Идет загрузка"));
    setWindowModality(Qt::ApplicationModal);
    setAttribute(Qt::WA_DeleteOnClose, false);
    resize(380, 170);

    auto *layout = new QVBoxLayout(this);
    auto *animations = new QHBoxLayout;
    ANIFind = new QProgressBar(this);
    ANIFind->setObjectName("ANIFind");
    ANIFind->setAccessibleName(tr("Поиск сервера"));
    ANIDownload = new QProgressBar(this);
    ANIDownload->setObjectName("ANIDownload");
    ANIDownload->setAccessibleName(tr("Загрузка"));
    for (QProgressBar *a : {ANIFind, ANIDownload}) {
        a->setRange(0, 0);   // a running animation
        a->setTextVisible(false);
        a->setMaximumHeight(10);
        animations->addWidget(a);
    }
    layout->addLayout(animations);

    LStatus1 = new QLabel(this);
    LStatus1->setObjectName("LStatus1");
    LStatus2 = new QLabel(this);
    LStatus2->setObjectName("LStatus2");
    for (QLabel *l : {LStatus1, LStatus2}) {
        l->setAlignment(Qt::AlignCenter);
        l->setTextFormat(Qt::PlainText);   // server text is never markup
        layout->addWidget(l);
    }
    LStatus1->setAccessibleName(tr("Шаг"));
    LStatus2->setAccessibleName(tr("Состояние"));

    PBar1 = new QProgressBar(this);
    PBar1->setObjectName("PBar1");
    PBar1->setAccessibleName(tr("Шаги загрузки"));
    PBar2 = new QProgressBar(this);
    PBar2->setObjectName("PBar2");
    PBar2->setAccessibleName(tr("Загружено байт"));
    layout->addWidget(PBar1);
    layout->addWidget(PBar2);

    BTerminate = new QPushButton(tr("Прервать"), this);
    BTerminate->setObjectName("BTerminate");
    BTerminate->setAccessibleName(BTerminate->text());
    BTerminate->setAutoDefault(false);
    layout->addWidget(BTerminate, 0, Qt::AlignHCenter);
    connect(BTerminate, &QPushButton::clicked, this, &TFProgress::BTerminateClick);

    m_run.OnChanged = [this] { Render(); };
    Render();
}

void TFProgress::BTerminateClick() { m_run.Terminate(); }

void TFProgress::Render()
{
    const ProgressDisplay &d = m_run.Display();
    LStatus1->setText(d.Status1);
    LStatus2->setText(d.Status2);
    PBar1->setRange(0, qMax(1, d.Bar1Max));
    PBar1->setValue(qBound(0, d.Bar1, int(qMax(1, d.Bar1Max))));
    // Bytes can pass what an int holds: the bar shows thousandths.
    if (d.Bar2Max > 0) {
        PBar2->setRange(0, 1000);
        PBar2->setValue(int(std::clamp<qint64>(d.Bar2 * 1000 / d.Bar2Max, 0, 1000)));
    } else {
        PBar2->setRange(0, 1000);
        PBar2->setValue(0);
    }
    PBar2->setToolTip(d.Bar2Hint);
    ANIFind->setVisible(d.Finding);
    ANIDownload->setVisible(d.Downloading);
    BTerminate->setVisible(d.TerminateVisible);
}

DownloadOutcome TFProgress::Download(const DownloadRequest &request)
{
    if (m_owner)
        PlaceNear(m_owner->window(), this, 1);
    show();
    raise();
    const DownloadOutcome outcome = m_run.Run(request);
    hide();
    return outcome;
}

void TFProgress::closeEvent(QCloseEvent *event)
{
    // Closing means abort; the window goes once the run has left its wait.
    if (m_run.Running()) {
        m_run.Terminate();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void TFProgress::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_run.Running()) {
        m_run.Terminate();
        return;
    }
    QWidget::keyPressEvent(event);
}
