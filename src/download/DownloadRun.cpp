// The steps of a download with their texts. Relies on the FTP client, the settings record for
// the proxy, ShowError and the message box for failures, and the catalogue of dictionaries to
// close a dictionary before its file is replaced.
#include "download/DownloadRun.h"

#include "messages/ShowError.h"
#include "platform/FileTools.h"
#include "platform/MessageBox.h"
#include "platform/ProgramFolder.h"
#include "settings/TOptions.h"
#include "store/Topics.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

QString elapsedText(qint64 ms)
{
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2:%3").arg(s / 3600).arg((s / 60) % 60, 2, 10, QLatin1Char('0')).arg(s % 60, 2, 10, QLatin1Char('0'));
}

bool endsWithWrd(const QString &path) { return path.endsWith(QLatin1String(".wrd"), Qt::CaseInsensitive); }

// The same file on disk (names are looked up ignoring case, as the catalogue of dictionaries does).
bool sameFile(const QString &a, const QString &b)
{
    const QString ca = QFileInfo(ProgramFolder::findCaseInsensitive(a)).canonicalFilePath();
    const QString cb = QFileInfo(ProgramFolder::findCaseInsensitive(b)).canonicalFilePath();
    return !ca.isEmpty() && ca == cb;
}

} // namespace

bool IsPlainLocalName(const QString &name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name.contains(QLatin1Char('/'))
        || name.contains(QLatin1Char('\\')) || name.contains(QLatin1String("..")))
        return false;
    for (QChar c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return false;
    }
    return true;
}

TDownloadRun::TDownloadRun(const ServerSettings &server) : m_server(server) {}

void TDownloadRun::Changed()
{
    if (OnChanged)
        OnChanged();
}

void TDownloadRun::Terminate()
{
    m_aborted = true;
    m_client.Abort();
}

void TDownloadRun::FileFetched(const QString &local)
{
    // The new table must not meet the index of the old one: its index is built on first opening.
    if (!endsWithWrd(local))
        return;
    const QString cdx = ProgramFolder::findCaseInsensitive(local.left(local.size() - 4) + QStringLiteral(".cdx"));
    if (QFileInfo::exists(cdx))
        QFile::remove(cdx);
}

DownloadOutcome TDownloadRun::Run(const DownloadRequest &request)
{
    DownloadOutcome outcome;
    m_running = true;
    m_aborted = false;
    struct Running {
        bool &flag;
        ~Running() { flag = false; }
    } running{m_running};

    TFtpClient &ftp = m_client;
    ftp.Host = m_server.Host;
    ftp.Port = m_server.Port;
    ftp.UserID = m_server.User;
    ftp.Password = m_server.Password;
    ftp.Passive = m_server.Passive;
    ftp.Proxy.clear();
    ftp.ProxyPort = 0;
    if (Options.UseProxy) {
        ftp.Proxy = OptionText(Options.ProxyAddress).trimmed();
        ftp.ProxyPort = Options.ProxyPort;
    }

    const QString host = m_server.Host;
    m_display = ProgressDisplay{};
    m_display.Finding = true;
    m_display.Bar1 = 0;
    m_display.Bar1Max = 3;
    m_display.Status1 = QCoreApplication::translate("TDownloadRun", "Соединяемся с %1").arg(host);
    m_display.Status2 = QCoreApplication::translate("TDownloadRun", "Опеределяется IP-адрес %1").arg(host);
    m_display.Bar2 = 0;
    m_display.Bar2Max = 1;
    Changed();

    ftp.OnHostResolved = [this](const QString &address) {
        ++m_display.Bar1;
        ++m_display.Bar2;
        m_display.Status2 = address;
        Changed();
    };
    ftp.OnInvalidHost = [this](const QString &name) {
        ShowError(11, name);
        m_aborted = true;
        return false;
    };
    ftp.OnBeforeReplace = [](const QString &local) {
        if (Topics && !Topics->OpenPath().isEmpty() && sameFile(Topics->OpenPath() + QStringLiteral(".wrd"), local))
            Topics->CloseDictionary();
    };
    ftp.OnPacketReceived = [this, &ftp] {
        m_display.Bar2 = ftp.SizeReceived();
        m_display.Bar2Max = ftp.SizeAnnounced();
        const qint64 ms = m_fileClock.elapsed();
        if (ms / 1000 != m_shownSecond) {
            m_shownSecond = ms / 1000;
            m_display.Bar2Hint = elapsedText(ms);
        }
        Changed();
    };

    try {
        ftp.Open();
        if (m_aborted) {
            ftp.Close();
            return outcome;
        }
        ++m_display.Bar1;
        m_display.Status1 = QCoreApplication::translate("TDownloadRun", "Переходим в директорию %1")
                                 .arg(ftp.ServerText(request.remoteFolder.toStdString()));
        Changed();
        if (!request.remoteFolder.isEmpty()) {
            ftp.SetFolder(request.remoteFolder);
            ftp.SetType(request.type);
        }
        if (m_aborted) {
            ftp.Close();
            return outcome;
        }
        ++m_display.Bar1;
        m_display.Finding = false;
        m_display.Downloading = true;
        const int n = int(request.files.size());
        m_display.Bar1 = 0;
        m_display.Bar1Max = n;
        Changed();

        for (int i = 0; i < n; ++i) {
            const DownloadFile &file = request.files[std::size_t(i)];
            m_display.Status1 = QCoreApplication::translate("TDownloadRun", "Загружается файл %1 ( %2/%3 )").arg(n).arg(i + 1).arg(n);
            m_display.Status2 = QCoreApplication::translate("TDownloadRun", "Загружается файл %1").arg(file.local);
            m_display.Bar2 = 0;
            m_display.Bar2Max = 1;
            m_display.Bar2Hint = elapsedText(0);
            m_shownSecond = 0;
            m_fileClock.start();
            Changed();
            if (!IsPlainLocalName(file.local))
                throw EFtpError(QStringLiteral("Not a plain file name: ") + file.local);
            const QString local = request.localFolder + file.local;
            ftp.Fetch(file.remote, local);
            ++outcome.fetched;
            FileFetched(local);
            if (m_aborted) {
                ftp.Close();
                return outcome;
            }
            m_display.Bar2Hint.clear();
            ++m_display.Bar1;
            Changed();
        }

        m_display.Bar1 = 0;
        m_display.Bar1Max = 1;
        m_display.Status1 = QCoreApplication::translate("TDownloadRun", "Завершение связи");
        Changed();
        ftp.Close();
        ++m_display.Bar1;
        m_display.TerminateVisible = false;
        Changed();
        outcome.complete = !m_aborted;
        return outcome;
    } catch (const EAbortError &) {
        ftp.Close();
    } catch (const EFtpError &e) {
        ftp.Close();
        if (!m_aborted)
            MessageBox::show(e.Text());
    }
    m_display.Bar2Hint.clear();
    Changed();
    return outcome;
}
