// The progress window "Идет загрузка": renders a TDownloadRun's display, and its "Прервать"
// (or closing the window, or the program quitting) aborts whatever the run waits for. The
// window is never destroyed or closed while the run is inside a wait.
#pragma once

#include "download/DownloadRun.h"

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

class TFProgress : public QWidget {
    Q_OBJECT
public:
    explicit TFProgress(const ServerSettings &server, QWidget *owner = nullptr);

    // Shows the window over `owner`, runs the download and hides the window again.
    DownloadOutcome Download(const DownloadRequest &request);
    TDownloadRun &Run() { return m_run; }

    QLabel *LStatus1;
    QLabel *LStatus2;
    QProgressBar *PBar1;
    QProgressBar *PBar2;
    QProgressBar *ANIFind;
    QProgressBar *ANIDownload;
    QPushButton *BTerminate;

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void BTerminateClick();
    void Render();

    QWidget *m_owner;
    TDownloadRun m_run;
};
