// The net stage of a run: the prepared net file, or the sausage or tree net
// built from the run's texts, and its dumps.
#pragma once

namespace kedo {

class dictClass;
class netClass;
class textClass;
struct recogParam;

// Runs after the texts are prepared. Reads p.netFile when it is set; else
// builds the sausage net (netType 1 without sylFile) or the tree net shaped by
// p.function ("recog" or "assess"; any other value ends the run), and parses
// it. Prints the stage's timing line; when p.outputDir is set writes
// "output.net" and "output.netb" there (and "output.nt" again for the sausage
// net). Finally sets the node penalties from p.nodePenalty.
void readOrBuildNet(const recogParam& p, dictClass& dict, textClass& text, netClass& net);

}  // namespace kedo
