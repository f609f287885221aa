// The download window lives in the download module "wordpop-download.so", loaded the first time
// the dictionaries window asks for it, so that a start never maps Qt Network.
#pragma once

#include "download/DownloadEntry.h"

#include <QString>

namespace DownloadModule {
using Runner = DownloadEntry::Runner;
// "wordpop-download.so"; tests name a module that is not there to see the failure.
extern QString fileName;

// The module's download window, loaded on the first call; null when the module cannot be had,
// with the reason in `problem`.
Runner runner(QString *problem = nullptr);
// What "Загрузить словари с …" runs: the download window, or a message that it cannot work.
bool Run(QWidget *parent);
} // namespace DownloadModule
