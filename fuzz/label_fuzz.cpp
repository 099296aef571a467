// Fuzzes the label file reader: whatever it accepts must write back ("phone.lab"
// and "phone.cm" layouts) and read back to the same nodes, phones and frames.
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "kedo/error.h"
#include "scoring/segmentation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const kedo::StrVec models = {"a+b", "sil", "sp", "t"};
    const std::string path = kedo::fuzz::inputFile(data, size, "lab");
    kedo::mlfClass mlf;
    try {
        kedo::readLabelFile(mlf, path, models);
    } catch (const kedo::KedoError&) {
        return 0;
    }
    const std::string again = path + ".out";
    kedo::writePhoneLevel(mlf, again, false, false, false);
    kedo::writePhoneLevel(mlf, path + ".cm", true, true, true);
    kedo::mlfClass back;
    kedo::readLabelFile(back, again, models);  // an error here is a finding
    if (back.nodes.size() != mlf.nodes.size()) std::abort();
    for (size_t i = 0; i < mlf.nodes.size(); ++i) {
        const auto& a = mlf.nodes[i];
        const auto& b = back.nodes[i];
        if (a.phones.size() != b.phones.size() || a.startFrame != b.startFrame || a.endFrame != b.endFrame)
            std::abort();
        for (size_t j = 0; j < a.phones.size(); ++j)
            if (a.phones[j].startFrame != b.phones[j].startFrame || a.phones[j].endFrame != b.phones[j].endFrame)
                std::abort();
    }
    return 0;
}
