// The ".prm" reader: key table, defaults and value conversion.
#include "task/recog_param.h"

#include "util/file_util.h"
#include "util/limits.h"
#include "util/report_error.h"
#include "util/str_util.h"

namespace kedo {

namespace {
constexpr const char* kModule = "recogTask";
}

#define KEDO_TEXT(name) RecogParamField{#name, &recogParam::name, nullptr}
#define KEDO_INT(name) RecogParamField{#name, nullptr, &recogParam::name}

const std::vector<RecogParamField>& recogParamFields() {
    static const std::vector<RecogParamField> fields = {
        KEDO_TEXT(language),
        KEDO_TEXT(macFile),
        KEDO_TEXT(modelCountFile),
        KEDO_TEXT(pinyinType),
        KEDO_TEXT(dicFile),
        KEDO_TEXT(wpaFile),
        KEDO_TEXT(wpaAddendaFile),
        KEDO_TEXT(pyTableFile),
        KEDO_TEXT(qiYinFile),
        KEDO_TEXT(tnmFile),
        KEDO_TEXT(featureConfigFile),
        KEDO_TEXT(wavFile),
        KEDO_TEXT(wavFileList),
        KEDO_TEXT(txtFile),
        KEDO_TEXT(sylFile),
        KEDO_TEXT(netFile),
        KEDO_TEXT(outputDir),
        KEDO_TEXT(function),
        KEDO_TEXT(phoneRank2scoreParamFile),
        KEDO_TEXT(scoreDiscountParamFile),
        KEDO_TEXT(cmParamFile),
        KEDO_TEXT(epsFile),
        KEDO_TEXT(inputLabFile),
        KEDO_INT(useAllModelAsCompetingModel),
        KEDO_INT(usePaddedHardSp),
        KEDO_INT(usePaddedSoftSil),
        KEDO_TEXT(ptParamFile),
        KEDO_TEXT(fillerType),
        KEDO_INT(getUvScore),
        KEDO_INT(getPitch),
        KEDO_INT(useEpd),
        KEDO_INT(netType),
        KEDO_INT(maxCandidateNum),
        KEDO_INT(minCandidateNum),
        KEDO_INT(probTh),
        KEDO_INT(comparisonMode),
        KEDO_INT(wordPenalty),
        KEDO_INT(nodePenalty),
        KEDO_INT(useWaveReject),
        KEDO_INT(useDescCandidateNum),
        KEDO_INT(useSpecSubtraction),
        KEDO_INT(addLink4stopAnywhere),
        KEDO_INT(addLink4startAnywhere),
        KEDO_INT(addLink4forwardJump),
        KEDO_INT(junk),
    };
    return fields;
}

#undef KEDO_TEXT
#undef KEDO_INT

void readRecogParam(const std::string& path, recogParam& rec) {
    rec = recogParam{};
    StrVec keys, values;
    std::vector<int> lines;
    readKeyValueFile(path, keys, values, &lines);
    const auto& fields = recogParamFields();
    for (size_t i = 0; i < keys.size(); ++i) {
        const RecogParamField* field = nullptr;
        for (const auto& f : fields)
            if (keys[i] == f.key) {
                field = &f;
                break;
            }
        if (field == nullptr)
            reportError(strFormat("Error in parsing %s, unknown key = %s (line %d in %s)", path.c_str(),
                                  keys[i].c_str(), __LINE__, kModule));
        if (field->text) {
            if (values[i].size() > static_cast<size_t>(MAX_TEXT_LEN))
                reportError(strFormat("Error in parsing %s, the value of key %s on line %d is longer than %d "
                                      "characters (line %d in %s)",
                                      path.c_str(), keys[i].c_str(), lines[i], MAX_TEXT_LEN, __LINE__, kModule));
            rec.*(field->text) = values[i];
        } else {
            rec.*(field->integer) = parseLeadingInt(values[i]);
        }
    }
}

std::vector<std::string> recogParamLines(const recogParam& rec) {
    std::vector<std::string> out;
    for (const auto& f : recogParamFields()) {
        if (f.text)
            out.push_back(std::string(f.key) + " = " + rec.*(f.text));
        else
            out.push_back(std::string(f.key) + " = " + std::to_string(rec.*(f.integer)));
    }
    return out;
}

}  // namespace kedo
