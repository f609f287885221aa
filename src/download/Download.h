// The download window "Доступные для загрузки словари": the server's catalogue as a check list,
// the target folder, and the buttons that refresh the list and fetch the ticked dictionaries
// (through the progress window). Thin over TDownloadList.
#pragma once

#include "download/DownloadList.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class TFDownload : public QDialog {
    Q_OBJECT
public:
    TFDownload(const ServerSettings &server, const QString &programFolder, QWidget *parent = nullptr);

    // Fills the list (fetching the catalogue when it is missing), shows the window modally and
    // returns once it is closed. Returns whether any file was fetched.
    bool Execute();
    // Loading the catalogue: false when the window opens, true for "Обновить список".
    void LoadCatalogue(bool refresh);

    TDownloadList &List() { return m_list; }
    // Tests replace how a download runs (the progress window by default).
    TDownloadList::Runner Runner;

    QListWidget *CLBTopics;
    QPushButton *BAll;
    QPushButton *BNothing;
    QPushButton *BMShapedButton1;
    QLabel *LSaveTo;
    QLineEdit *EDirName;
    QPushButton *BExplore;
    QPushButton *BDownload;
    QPushButton *BCancel;
    QLabel *LNoServer;

public slots:
    void reject() override;

private:
    void FillList();
    void BDownloadClick();
    void BExploreClick();
    DownloadOutcome RunWithProgress(const DownloadRequest &request);

    ServerSettings m_server;
    TDownloadList m_list;
    bool m_running = false;
};

// What the dictionaries window's "Загрузить словари с …" runs: the download window over
// `parent`, for the program folder and its wordpop-server.ini. Returns whether files were fetched.
bool RunDownload(QWidget *parent);
