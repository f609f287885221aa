// How the program and the download module "wordpop-download.so" meet: one C entry point that
// answers the download window for the version it was built for (null for another).
#pragma once

class QWidget;

namespace DownloadEntry {
using Runner = bool (*)(QWidget *parent);
inline constexpr int Version = 1;
inline constexpr const char *Name = "wordpop_download_module";
} // namespace DownloadEntry
