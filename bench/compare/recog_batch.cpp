// One engine object recognising many recordings, for the side-by-side
// comparison: reads "AUDIO<TAB>LISTFILE" lines on standard input and writes,
// per line, the recognised sentence (or "ERROR: " and the message).
//
//   kedo_recog_batch HOME < jobs.tsv
#include <cstdio>
#include <iostream>
#include <string>

#include "kedo/engine.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: kedo_recog_batch HOME < AUDIO<TAB>LISTFILE lines\n");
        return 2;
    }
    try {
        kedo::KEDO engine(argv[1]);
        engine.setProgressSink(nullptr);
        std::string line;
        while (std::getline(std::cin, line)) {
            const size_t tab = line.find('\t');
            if (tab == std::string::npos) continue;
            std::string sentence;
            if (engine.Recog(line.substr(0, tab), line.substr(tab + 1), sentence) == kedo::Status::ok)
                std::printf("%s\n", sentence.c_str());
            else
                std::printf("ERROR: %s\n", engine.lastErrorMessage().c_str());
            std::fflush(stdout);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
