// The net stage of a run.
#include "net/net_stage.h"
#include "util/progress.h"

#include <cstdio>

#include "lexicon/dict.h"
#include "lexicon/text.h"
#include "net/net.h"
#include "net/net_build.h"
#include "task/recog_param.h"
#include "util/file_util.h"
#include "util/report_error.h"
#include "util/timing.h"

namespace kedo {

void readOrBuildNet(const recogParam& p, dictClass& dict, textClass& text, netClass& net) {
    long start = processorTicks();
    if (!p.netFile.empty()) {
        net.netRead(p.netFile, dict);
        progressf("%4.3f sec: Read net \"%s\" (nodeNum=%d)\n", secondsSince(start), p.netFile.c_str(), net.nodeNum);
    } else if (p.netType == 1 && p.sylFile.empty()) {
        buildSausageNet(text, dict, p);
        if (!p.outputDir.empty()) {
            std::string path = p.outputDir + "/output.nt";
            writeLines(path, text.m_txtVsNormalized);
            progressf("\t===> Saved %s\n", path.c_str());
        }
        net.netFromLines(text.m_netVs, dict);
        progressf("%4.3f sec: Generated sausage net (nodeNum=%d)\n", secondsSince(start), net.nodeNum);
    } else {
        const int padSil = p.useEpd == 0 ? 1 : 0;
        if (p.function == "recog")
            buildTreeNet(text, p, p.comparisonMode == 3 ? 1 : 0, 0, padSil);
        else if (p.function == "assess")
            buildTreeNet(text, p, 0, p.usePaddedSoftSil, padSil);
        else
            reportError(strFormat("Unknown recogParam.function = %s!", p.function.c_str()));
        net.netFromLines(text.m_netVs, dict);
        progressf("%4.3f sec: Generated tree net (nodeNum=%d)\n", secondsSince(start), net.nodeNum);
    }
    if (!p.outputDir.empty()) {
        std::string path = p.outputDir + "/output.net";
        net.netPrint(path);
        progressf("\t===> Saved net file: %s\n", path.c_str());
        path = p.outputDir + "/output.netb";
        net.netWriteBinary(path);
        progressf("\t===> Saved net file: %s\n", path.c_str());
    }
    net.setNodePenalty(static_cast<float>(p.nodePenalty));
}

}  // namespace kedo
