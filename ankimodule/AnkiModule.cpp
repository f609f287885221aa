// The package module "wordpop-anki.so": the Anki package reader and the libraries only it needs
// (libzip, libzstd, SQLite), loaded with dlopen when a package is first read. Everything else it
// uses (VocabularyError, the Vocab helpers) is the program's own, resolved from the executable,
// so the process keeps one copy of it.
#include "store/AnkiReader.h"

namespace {
Vocabulary readPackage(const QString &path, const Vocab::ReadOptions &options)
{
    return AnkiReader::readFile(path, options);
}
} // namespace

extern "C" __attribute__((visibility("default"))) Vocab::PackageReader wordpop_anki_module(int version)
{
    return version == Vocab::kPackageModuleVersion ? &readPackage : nullptr;
}
