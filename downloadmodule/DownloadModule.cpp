// The download module "wordpop-download.so": the download windows and the FTP client, the only
// code that links Qt Network (and through it Kerberos and the proxy library). The program loads
// it with dlopen when the download window is first asked for. It links none of the program's
// static libraries: what it uses of them (the program folder, messages, window placement …) is
// the executable's own, so the process keeps one copy of each.
#include "download/Download.h"
#include "download/DownloadEntry.h"

extern "C" __attribute__((visibility("default"))) DownloadEntry::Runner wordpop_download_module(int version)
{
    return version == DownloadEntry::Version ? &RunDownload : nullptr;
}
