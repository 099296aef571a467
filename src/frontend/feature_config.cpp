// Feature configuration reader and kind parser.
#include "frontend/feature_config.h"
#include "util/progress.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "util/file_util.h"

namespace kedo {

namespace {

uint16_t qualifierFlag(char letter) {
    switch (letter) {
        case 'E': return HAS_E;
        case 'N': return HAS_N;
        case 'D': return HAS_D;
        case 'A': return HAS_A;
        case 'C': return HAS_C;
        case 'Z': return HAS_Z;
        case 'K': return HAS_K;
        case '0': return HAS_0;
        case 'V': return HAS_V;
        default: return 0;
    }
}

bool isQualifierChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

void storeValue(FeatureConfig& cfg, const std::string& key, const std::string& value) {
    const char* v = value.c_str();
    auto asFloat = [v] { return static_cast<float>(std::atof(v)); };
    auto asInt = [v] {
        double d = std::atof(v);
        // Out-of-range values saturate instead of overflowing the conversion.
        if (!(d < 2147483647.0)) return int32_t{2147483647};
        if (!(d > -2147483648.0)) return int32_t{-2147483647 - 1};
        return static_cast<int32_t>(d);
    };
    bool isTrue = value == "TRUE" || value == "T";
    bool isFalse = value == "FALSE" || value == "F";
    if (key == "SOURCERATE") cfg.sourceRate = asFloat();
    else if (key == "ZMEANSOURCE") cfg.zMeanSource = cfg.zMeanSource || isTrue;
    else if (key == "TARGETKIND") {
        cfg.targetKind = parseKind(value);
        cfg.dim = featureDimension(cfg.numCeps, cfg.targetKind);
    } else if (key == "TARGETRATE") cfg.targetRate = asFloat();
    else if (key == "WINDOWSIZE") cfg.windowSize = asFloat();
    else if (key == "USEHAMMING") cfg.useHamming = cfg.useHamming && !isFalse;
    else if (key == "PREEMCOEF") cfg.preEmCoef = asFloat();
    else if (key == "USEPOWER") cfg.usePower = cfg.usePower || isTrue;
    else if (key == "NUMCHANS") cfg.numChans = asInt();
    else if (key == "LOFREQ") cfg.loFreq = asFloat();
    else if (key == "HIFREQ") cfg.hiFreq = asFloat();
    else if (key == "CEPLIFTER") cfg.cepLifter = asInt();
    else if (key == "NUMCEPS") cfg.numCeps = asInt();
    else if (key == "ENORMALISE") cfg.eNormalise = cfg.eNormalise && !isFalse;
    else if (key == "ESCALE") cfg.eScale = asFloat();
    else if (key == "DELTAWINDOW") cfg.deltaWindow = asInt();
    else if (key == "ACCWINDOW") cfg.accWindow = asInt();
    else if (key == "SILFLOOR") cfg.silFloor = asFloat();
    // SOURCEKIND, SOURCEFORMAT and unknown keys: nothing is stored.
}

void parseLine(FeatureConfig& cfg, const std::string& line) {
    std::string text;
    text.reserve(line.size());
    // Carriage returns go with the line feeds, so that files with DOS line
    // ends read the same.
    for (char c : line)
        if (c != ' ' && c != '\n' && c != '\r') text += c;
    std::vector<std::string> tokens;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t eq = text.find('=', pos);
        if (eq == std::string::npos) eq = text.size();
        if (eq > pos) tokens.push_back(text.substr(pos, eq - pos));
        pos = eq + 1;
    }
    if (tokens.size() < 2) return;  // blank line or a key without a value
    storeValue(cfg, tokens[0], tokens[1]);
}

}  // namespace

uint16_t parseKind(const std::string& text) {
    std::string rest = text;
    uint16_t flags = 0;
    while (rest.size() > 2 && rest[rest.size() - 2] == '_' && isQualifierChar(rest.back())) {
        flags |= qualifierFlag(rest.back());
        rest.resize(rest.size() - 2);
    }
    static const char* const names[] = {"LPC",   "LPREFC", "LPCEPSTRA", "LPDELCEP", "IREFC",
                                        "MFCC",  "FBANK",  "MELSPEC",   "USER",     "DISCRETE"};
    for (int code = 1; code <= 10; ++code) {
        if (rest == names[code - 1]) {
            uint16_t base = code == LPDELCEP ? static_cast<uint16_t>(LPCEPSTRA | HAS_D) : static_cast<uint16_t>(code);
            return static_cast<uint16_t>(base | flags);
        }
    }
    return ANON;
}

int featureDimension(int numCeps, uint16_t kind) {
    int base = numCeps + ((kind & HAS_E) ? 1 : 0) + ((kind & HAS_0) ? 1 : 0);
    if (!(kind & (HAS_D | HAS_A))) return base;
    return ((kind & HAS_D) ? 2 * base : numCeps) + ((kind & HAS_A) ? base : 0);
}

void readFeatureConfig(FeatureConfig& cfg, const std::string& path) {
    FilePtr f(fopenResolved(path, "rb"));
    if (!f) {
        progressf("Can't open config file %s \n", path.c_str());
        return;
    }
    std::string line;
    int c;
    while ((c = std::fgetc(f.get())) != EOF) {
        line += static_cast<char>(c);
        if (c == '\n') {
            parseLine(cfg, line);
            line.clear();
        }
    }
    if (!line.empty()) parseLine(cfg, line);
}

}  // namespace kedo
