// wordpop-dict: creates, fills, prints, reindexes and checks Wordpop dictionaries from the
// command line. The build's data step uses it to make the sample dictionaries.
#include "Commands.h"

#include "engine/DiskFile.h"
#include "engine/EngineError.h"
#include "store/AnkiReader.h"
#include "store/ImportReader.h"
#include "store/Vocabulary.h"

#include <cstdio>

#include <cstring>
#include <exception>
#include <iostream>
#include <string>

namespace {

const char usage[] =
    "usage: wordpop-dict COMMAND FILE.wrd [ARGUMENTS]\n"
    "  create FILE.wrd [--learned]       an empty dictionary (learned layout with --learned)\n"
    "  import FILE.wrd INPUT...           append the words of .csv and .txt files\n"
    "  import FILE.wrd VOCABULARY [--from LOCALE] [--to LOCALE] [--split-lessons]\n"
    "                 [--fields N,M] [--deck NAME]\n"
    "                                     the words of a .kvtml file or an Anki .apkg/.colpkg;\n"
    "                                     several lessons or decks fill \"FILE - NAME\" each\n"
    "  export FILE.wrd [--order TAG] [--utf8]\n"
    "                                     WORD1;WORD2;TRANSCRIPT;WAVFILE, one line per word\n"
    "  export FILE.wrd --kvtml [--from LOCALE] [--to LOCALE]\n"
    "                                     a KVTML 2 vocabulary (locales en and ru by default)\n"
    "  export FILE.wrd --tsv              WORD1, WORD2, TRANSCRIPT tab-separated, UTF-8\n"
    "  dump FILE.wrd [--order TAG] [--deleted] [--utf8]\n"
    "                                     every field of every record, tab-separated\n"
    "  reindex FILE.wrd                   build FILE.cdx anew with its four tags\n"
    "  check FILE.wrd                     verify the table and its index (exit 1 on a fault)\n";

// Engine messages may hold a carriage return between their parts; one line reads better.
std::string oneLine(std::string text)
{
    for (char &c : text)
        if (c == '\r' || c == '\n')
            c = ' ';
    return text;
}

struct UsageError {
    std::string message;
};

dict::Options parse(int argc, char **argv)
{
    if (argc < 2)
        throw UsageError{"no command given"};
    dict::Options o;
    o.command = argv[1];
    const bool known = o.command == "create" || o.command == "import" || o.command == "export" ||
                       o.command == "dump" || o.command == "reindex" || o.command == "check";
    if (!known)
        throw UsageError{"unknown command \"" + o.command + "\""};

    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        std::string a = argv[i];
        if (optionsEnded || a.size() < 2 || a.compare(0, 2, "--") != 0) {
            positional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string value;
        bool hasValue = false;
        if (const size_t eq = a.find('='); eq != std::string::npos) {
            value = a.substr(eq + 1);
            a.resize(eq);
            hasValue = true;
        }
        auto allowed = [&](std::initializer_list<const char *> commands) {
            for (const char *c : commands)
                if (o.command == c)
                    return true;
            return false;
        };
        auto flag = [&](bool &target) {
            if (hasValue)
                throw UsageError{a + " takes no value"};
            target = true;
        };
        if (a == "--learned" && allowed({"create"})) {
            flag(o.learned);
        } else if (a == "--utf8" && allowed({"export", "dump"})) {
            flag(o.utf8);
        } else if (a == "--deleted" && allowed({"dump"})) {
            flag(o.deleted);
        } else if ((a == "--from" || a == "--to" || a == "--deck" || a == "--fields") &&
                   allowed({"import", "export"}) && ((a != "--deck" && a != "--fields") || o.command == "import")) {
            if (!hasValue) {
                if (i + 1 >= argc)
                    throw UsageError{a + " needs a value"};
                value = argv[++i];
            }
            if (value.empty())
                throw UsageError{a + " needs a value"};
            if (a == "--from") {
                o.fromLocale = value;
            } else if (a == "--to") {
                o.toLocale = value;
            } else if (a == "--deck") {
                o.deck = value;
            } else {
                int n = 0, m = 0;
                char rest = 0;
                if (std::sscanf(value.c_str(), "%d,%d%c", &n, &m, &rest) != 2 || n < 1 || m < 1 || n == m ||
                    n > 100 || m > 100)
                    throw UsageError{"--fields takes two different field numbers from 1, such as 1,2"};
                o.field1 = n;
                o.field2 = m;
            }
        } else if (a == "--split-lessons" && allowed({"import"})) {
            flag(o.splitLessons);
        } else if ((a == "--kvtml" || a == "--tsv") && allowed({"export"})) {
            flag(a == "--kvtml" ? o.kvtml : o.tsv);
            if (o.kvtml && o.tsv)
                throw UsageError{"--kvtml and --tsv cannot go together"};
        } else if (a == "--order" && allowed({"export", "dump"})) {
            if (!hasValue) {
                if (i + 1 >= argc)
                    throw UsageError{"--order needs a tag name"};
                value = argv[++i];
            }
            if (value.empty())
                throw UsageError{"--order needs a tag name"};
            o.order = value;
        } else {
            throw UsageError{"unknown option " + a + " for " + o.command};
        }
    }

    if (positional.empty())
        throw UsageError{o.command + " needs a dictionary file"};
    o.file = positional[0];
    if (o.file.empty())
        throw UsageError{"the dictionary file name is empty"};
    // A bare name means a dictionary: FILE becomes FILE.wrd.
    const size_t slash = o.file.rfind('/');
    const size_t dot = o.file.rfind('.');
    if (o.file.back() == '/')
        throw UsageError{"\"" + o.file + "\" names a folder, not a dictionary file"};
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        o.file += ".wrd";
    // As the program finds its dictionaries: a name not found as typed may exist in another case.
    o.file = TDiskFile::ResolvePath(o.file);
    positional.erase(positional.begin());

    if (o.command == "import") {
        if (positional.empty())
            throw UsageError{"import needs at least one .csv or .txt file"};
        o.inputs = positional;
    } else if (!positional.empty()) {
        throw UsageError{"unexpected argument \"" + positional[0] + "\" for " + o.command};
    }
    return o;
}

} // namespace

int main(int argc, char **argv)
{
    // The tool is no resident program: it links the package reader instead of loading it.
    Vocab::packageReader = [](const QString &path, const Vocab::ReadOptions &options) {
        return AnkiReader::readFile(path, options);
    };
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::cout << usage;
        return 0;
    }
    // Export and dump write a line per word: through the stream's own buffer, not stdio's.
    std::ios::sync_with_stdio(false);
    dict::Options o;
    try {
        o = parse(argc, argv);
    } catch (const UsageError &e) {
        std::cerr << "wordpop-dict: " << e.message << "\n" << usage;
        return 2;
    }

    try {
        if (o.command == "create")
            return dict::Create(o, std::cout);
        if (o.command == "import" && dict::IsVocabularyImport(o))
            return dict::ImportVocabulary(o, std::cout, std::cerr);
        if (o.command == "import")
            return dict::Import(o, std::cout, std::cerr);
        if (o.command == "export" && o.kvtml)
            return dict::ExportKvtml(o, std::cout, std::cerr);
        if (o.command == "export" && o.tsv)
            return dict::ExportTsv(o, std::cout, std::cerr);
        if (o.command == "export")
            return dict::Export(o, std::cout, std::cerr);
        if (o.command == "dump")
            return dict::Dump(o, std::cout);
        if (o.command == "reindex")
            return dict::Reindex(o, std::cout);
        return dict::Check(o, std::cout);
    } catch (const dict::ToolError &e) {
        std::cerr << "wordpop-dict: " << oneLine(e.what()) << "\n";
    } catch (const ImportReadError &e) {
        std::cerr << "wordpop-dict: cannot read " << e.what() << "\n";
    } catch (const VocabularyError &e) {
        std::cerr << "wordpop-dict: " << oneLine(e.what()) << "\n";
    } catch (const EEngineError &e) {
        std::cerr << "wordpop-dict: " << o.file << ": " << oneLine(e.what()) << "\n";
    } catch (const std::exception &e) {
        std::cerr << "wordpop-dict: " << o.file << ": " << oneLine(e.what()) << "\n";
    }
    return 1;
}
