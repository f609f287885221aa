// The download window's logic. Relies on the catalogue parser and the message box.
#include "download/DownloadList.h"

#include "platform/MessageBox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

TDownloadList::TDownloadList(const ServerSettings &server, const QString &programFolder)
    : m_server(server), m_programFolder(programFolder)
{
    TargetFolder = programFolder + QStringLiteral("BASE/ON/");
}

QString TDownloadList::NoServerText()
{
    return QCoreApplication::translate("TDownloadList", "Сервер для загрузки словарей не указан: в файле %1 нет адреса (Host).")
        .arg(QLatin1String(kServerSettingsFile));
}

QString TDownloadList::CataloguePath() const
{
    return m_programFolder + QStringLiteral("NEWS/") + QLatin1String(Catalogue::kFileName);
}

void TDownloadList::ReadLocal()
{
    Catalogue::Read(CataloguePath(), m_entries);
    m_ticked.assign(m_entries.size(), false);
}

void TDownloadList::Load(bool refresh, const Runner &run)
{
    if ((refresh || !QFileInfo::exists(CataloguePath())) && HostConfigured()) {
        QDir().mkpath(m_programFolder + QStringLiteral("NEWS"));
        DownloadRequest request;
        request.files.push_back({QByteArray(Catalogue::kFileName), QString::fromLatin1(Catalogue::kFileName)});
        request.localFolder = m_programFolder + QStringLiteral("NEWS/");
        request.type = 0;
        run(request);
    }
    ReadLocal();
}

QStringList TDownloadList::Texts() const
{
    QStringList texts;
    for (const Catalogue::Entry &e : m_entries)
        texts << e.Text();
    return texts;
}

void TDownloadList::TickAll(bool on)
{
    m_ticked.assign(m_entries.size(), on);
}

bool TDownloadList::Download(const Runner &run)
{
    DownloadRequest request;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        if (m_ticked[i])
            request.files.push_back({QByteArray::fromStdString(m_entries[i].file), m_entries[i].LocalName()});
    }
    if (request.files.empty() || !HostConfigured())
        return false;
    QString folder = TargetFolder.trimmed();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    if (!QFileInfo(folder).isDir()) {
        MessageBox::show(QCoreApplication::translate("TDownloadList", "Папка %1 не найдена.").arg(folder));
        return false;
    }
    request.localFolder = folder;
    request.remoteFolder = "dictionaries";
    request.type = 2;
    const DownloadOutcome outcome = run(request);
    if (outcome.fetched > 0) {
        m_fetchedAny = true;
        m_lastFolder = folder;
    }
    return outcome.complete;
}
