// The maker's server as "wordpop-server.ini" in the program folder describes it (section
// [Server]). Only the site's name for now: the dictionaries window shows it on its download
// button, and the download window reads its own keys from the same file.
#pragma once

#include <QString>

// Program folder + "wordpop-server.ini".
QString ServerIniPath();

// `Site` of section [Server]; "сервера" when the file or the key is missing or blank, so that
// the download button reads "Загрузить словари с сервера".
QString ServerSiteName();
