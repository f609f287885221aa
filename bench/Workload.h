// The benchmark's words: 100,000 dictionary records that look like a real dictionary (English
// words and short phrases, Windows-1251 Russian translations, transcriptions, some sound files,
// small mistake counters), made once from a fixed seed so every run measures the same data.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

struct BenchWord {
    std::string word1, word2, transcript, wavFile;
    int miss = 0, kbMiss = 0, inRow = 0, kbInRow = 0;
    int64_t wavStart = 0, wavEnd = 0;
};

struct Workload {
    static constexpr size_t recordCount = 100000;
    static constexpr size_t lookupCount = 1000;

    std::vector<BenchWord> words;
    std::vector<std::string> lookups; // WORD1 values that exist
    int64_t halfCount = 0;            // records the half filter passes (INROW < 2)
    std::filesystem::path folder;

    static const Workload &instance()
    {
        static Workload w;
        return w;
    }

    // The record filter of the "half" count, on both sides.
    static bool passesHalf(int inRow) { return inRow < 2; }

private:
// GCC 12 warns falsely (-Wrestrict) about inlined string assignments here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    Workload()
    {
        char tmpl[] = "/tmp/wordpop-bench-XXXXXX";
        const char *dir = mkdtemp(tmpl);
        folder = dir ? dir : "/tmp";

        static const char *latin[] = {"ba", "con", "de", "ex", "fa", "gri", "ho", "in", "jo", "ka", "lu",
                                      "man", "ne", "or", "pre", "qui", "ra", "st", "ter", "un", "ver",
                                      "wa", "xi", "yo", "ze", "ble", "ght", "tion", "ous", "ly", "er"};
        // Russian syllables in Windows-1251.
        static const char *cyr[] = {"\xEA\xE0", "\xEB\xEE", "\xEC\xE5", "\xED\xE8", "\xEF\xF0\xE8",
                                    "\xF1\xF2\xE0", "\xF2\xEE", "\xE2\xEE", "\xE4\xE0", "\xE7\xE0",
                                    "\xF0\xE5", "\xF1\xEA\xE8\xE9", "\xED\xFB\xE9", "\xF6\xE0",
                                    "\xF7\xE8", "\xF8\xEE", "\xE1\xF3", "\xE3\xF0\xEE"};
        std::mt19937 rng(20261210);
        auto pick = [&](int n) { return int(rng() % unsigned(n)); };
        auto makeWord = [&](const char *const *syl, int nsyl, int minSyl, int maxSyl) {
            std::string w;
            const int count = minSyl + pick(maxSyl - minSyl + 1);
            for (int i = 0; i < count; ++i)
                w += syl[pick(nsyl)];
            return w;
        };
        const int nLatin = int(sizeof latin / sizeof *latin), nCyr = int(sizeof cyr / sizeof *cyr);

        words.reserve(recordCount);
        for (size_t i = 0; i < recordCount; ++i) {
            BenchWord w;
            w.word1 = makeWord(latin, nLatin, 1, 4);
            if (pick(8) == 0) { // a short phrase now and then
                std::string phrase("to ");
                phrase += w.word1;
                phrase += ' ';
                phrase += makeWord(latin, nLatin, 1, 3);
                w.word1 = std::move(phrase);
            }
            w.word2 = makeWord(cyr, nCyr, 2, 4);
            if (pick(4) == 0) {
                w.word2 += ", ";
                w.word2 += makeWord(cyr, nCyr, 2, 3);
            }
            w.transcript = "[" + w.word1.substr(0, 12) + "]";
            if (pick(3) == 0) {
                w.wavFile = "\\SOUND\\";
                w.wavFile += w.word1;
                w.wavFile += ".wav";
                w.wavEnd = 4000 + pick(60000);
            }
            // Most words have few mistakes; a long tail of hard ones.
            w.miss = pick(3) ? pick(3) : pick(40);
            w.kbMiss = pick(3) ? pick(2) : pick(30);
            w.inRow = pick(4);
            w.kbInRow = pick(3);
            if (passesHalf(w.inRow))
                ++halfCount;
            words.push_back(std::move(w));
        }
        for (size_t i = 0; i < lookupCount; ++i)
            lookups.push_back(words[rng() % recordCount].word1);
    }
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
};
