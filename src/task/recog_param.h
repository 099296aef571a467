// The recognition parameter record and its ".prm" file reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kedo {

// One run's settings: the files it reads, where it writes, and the integer
// switches of search and scoring. Text fields hold at most 999 characters.
// Relative file names are used as written, relative to the current folder.
struct recogParam {
    std::string language;
    std::string macFile;
    std::string modelCountFile;
    std::string pinyinType;
    std::string dicFile;
    std::string wpaFile;
    std::string wpaAddendaFile;
    std::string pyTableFile;
    std::string qiYinFile;
    std::string tnmFile;
    std::string featureConfigFile;
    std::string wavFile;
    std::string wavFileList;
    std::string txtFile;
    std::string sylFile;
    std::string netFile;
    std::string outputDir;
    std::string function;
    std::string phoneRank2scoreParamFile;
    std::string scoreDiscountParamFile;
    std::string cmParamFile;
    std::string epsFile;
    std::string inputLabFile;
    int32_t useAllModelAsCompetingModel = 0;
    int32_t usePaddedHardSp = 1;
    int32_t usePaddedSoftSil = 1;
    std::string ptParamFile;
    std::string fillerType;
    int32_t getUvScore = 0;
    int32_t getPitch = 0;
    int32_t useEpd = 0;
    int32_t netType = 0;
    int32_t maxCandidateNum = 0;
    // Lower limit of the search's candidate number (0: none), applied before
    // the maxCandidateNum cap; an extension for lists of many sentences.
    int32_t minCandidateNum = 0;
    int32_t probTh = 0;
    int32_t comparisonMode = 0;
    int32_t wordPenalty = 0;
    int32_t nodePenalty = 0;
    int32_t useWaveReject = 0;
    int32_t useDescCandidateNum = 1;
    int32_t useSpecSubtraction = 0;
    int32_t addLink4stopAnywhere = 0;
    int32_t addLink4startAnywhere = 0;
    int32_t addLink4forwardJump = 0;
    int32_t junk = 0;
};

// One key of the parameter file: its name and where its value lives.
struct RecogParamField {
    const char* key;
    std::string recogParam::*text;  // null for integer keys
    int32_t recogParam::*integer;   // null for text keys
};

// Every key of the parameter file, in the record's order.
const std::vector<RecogParamField>& recogParamFields();

// Resets rec to the defaults, then assigns every key of the file at path.
// Errors: a file that cannot be opened, an unknown key, a text value longer
// than 999 characters.
void readRecogParam(const std::string& path, recogParam& rec);

// The record as "key = value" lines, one per key in record order.
std::vector<std::string> recogParamLines(const recogParam& rec);

}  // namespace kedo
