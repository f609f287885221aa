// Small helpers for the engine tests: a temporary folder per test and whole-file byte access.
#pragma once

#include <cstdlib>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

class TempFolder {
public:
    TempFolder()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "wordpop-engine-XXXXXX").string();
        path_ = ::mkdtemp(tmpl.data()) ? tmpl : std::string();
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Runs f in a child process (locks of this process never conflict with each other);
// returns its exit status.
inline int inChild(const std::function<int()>& f)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(f());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 99;
}

inline std::vector<unsigned char> readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline const std::vector<std::string>& topicFields()
{
    static const std::vector<std::string> f = {
        "WORD1;C;80;0", "WORD2;C;80;0", "TRANSCRIPT;C;80;0", "MISS;N;5;0", "KBMISS;N;5;0",
        "INROW;N;5;0", "KBINROW;N;5;0", "WAVFILE;C;255;0", "WAVSTART;N;20;0", "WAVEND;N;20;0"};
    return f;
}
