// Fuzzes the text net reader (".net": header, node and link lines), then writes what it read in both forms.
#include <cstdint>
#include <cstdio>

#include "fuzz_support.h"
#include "kedo/error.h"
#include "net/net.h"
#include "net_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string path = kedo::fuzz::inputFile(data, size, "net");
    kedo::dictClass dict = kedo::fuzz::netFuzzDict();
    kedo::netClass net;
    try {
        net.netRead(path, dict);
        net.setNodePenalty(-1.0f);
        (void)net.fanOut();
        std::string out = path + ".out";
        net.netWriteBinary(out);
        net.netPrint(out);
        std::remove(out.c_str());
    } catch (const kedo::KedoError&) {
    }
    return 0;
}
