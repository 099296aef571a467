// Diagnostic score files.
#include "scoring/diagnostic_files.h"
#include "util/progress.h"

#include <cstdio>
#include <sstream>

#include "scoring/output_text.h"
#include "scoring/scoring_texts.h"
#include "scoring/segmentation.h"
#include "scoring/xml_result.h"

namespace kedo {

namespace {

const std::string& modelName(const StrVec& names, int32_t index) {
    static const std::string none;
    return index >= 0 && static_cast<size_t>(index) < names.size() ? names[index] : none;
}

}  // namespace

bool isWrittenPhone(const mlfNode& node, const mlfPhone& phone) {
    return isSpokenNode(node) && phone.startFrame >= 0 && isRankedPhone(phone);
}

void writePhonePlp(const mlfClass& mlf, const std::string& path) {
    std::ostringstream os;
    os << kPlpHeader1 << '\n' << kPlpHeader2 << '\n' << kPlpHeader3 << '\n' << kPlpHeader4 << '\n';
    for (const mlfNode& node : mlf.nodes) {
        for (const mlfPhone& ph : node.phones) {
            if (!isWrittenPhone(node, ph)) continue;
            os << ph.name << " " << ph.index << " " << ph.endFrame - ph.startFrame + 1 << '\n';
            for (int32_t m : ph.competingModelIndex) os << m << ' ';
            os << '\n';
            for (float ll : ph.competingModelLogLike) os << ll << ' ';
            os << '\n';
        }
    }
    writeTextFile(path, os.str());
}

void writePhoneCmd(const mlfClass& mlf, const StrVec& modelNames, const std::string& path) {
    std::ostringstream os;
    for (size_t i = 0; i < mlf.nodes.size(); ++i) {
        const mlfNode& node = mlf.nodes[i];
        if (!isSpokenNode(node)) continue;
        os << i << ": " << node.name << " [" << node.startFrame << " " << node.endFrame << "]" << " ("
           << node.timberScores[0] << ", " << node.timberScores[1] << ", " << node.timberScores[2] << ")\n";
        for (size_t j = 0; j < node.phones.size(); ++j) {
            const mlfPhone& ph = node.phones[j];
            if (!isWrittenPhone(node, ph)) continue;
            const int frames = ph.endFrame - ph.startFrame + 1;
            os << "\t" << j << ": " << ph.name << " [" << ph.startFrame << " " << ph.endFrame << "]\n";
            os << "\t\t";
            for (size_t k = 0; k < ph.competingModelIndex.size(); ++k) {
                os << k << ": " << modelName(modelNames, ph.competingModelIndex[k]) << "(";
                if (k < ph.competingModelLogLike.size()) os << ph.competingModelLogLike[k];
                os << ") ";
            }
            os << "\n\t\tComp. model index: ";
            for (int32_t m : ph.competingModelIndex) os << m << ' ';
            os << "\n\t\tRank ratio: " << ph.rank << "/" << ph.competingModelIndex.size() << "=" << ph.rankRatio;
            os << "\n\t\tTime weight: " << frames << "/" << mlf.scoredFrameCount << "=" << ph.timeRatio * 100
               << "%";
            os << "\n\t\tScore: " << ph.timberScores[0] << ", " << ph.timberScores[1] << ", "
               << ph.timberScores[2] << '\n';
        }
    }
    const auto& ts = mlf.timberScores;
    os << '\n';
    os << kRawScoreLabel << ts[0].orig << ", " << ts[1].orig << ", " << ts[2].orig << '\n';
    os << kCorrectedScoreLabel << ts[0].final << ", " << ts[1].final << ", " << ts[2].final << '\n';
    os << '\n';
    for (int k = 0; k < DISCOUNT_REASON_NUM; ++k)
        os << "m_discountFactor[" << k << "] = " << mlf.discountOccurrence[k] << kReasonNamesBig5[k] << '\n';
    writeTextFile(path, os.str());
}

void writeAssessmentFiles(const mlfClass& mlf, const StrVec& modelNames, const recogParam& p) {
    if (p.outputDir.empty()) return;
    auto saved = [](const std::string& path) { progressf("\t===> Saved %s\n", path.c_str()); };
    const std::string dir = p.outputDir + "/";
    writePhoneLevel(mlf, dir + "phone.lab", false, false, false);
    saved(dir + "phone.lab");
    writePhoneLevel(mlf, dir + "phone.cm", false, true, true);
    saved(dir + "phone.cm");
    writeXml(mlf, modelNames, dir + "output.xml", p);
    saved(dir + "output.xml");
    writePhonePlp(mlf, dir + "phone.plp");
    saved(dir + "phone.plp");
    writePhoneCmd(mlf, modelNames, dir + "phone.cmd");
    saved(dir + "phone.cmd");
}

}  // namespace kedo
