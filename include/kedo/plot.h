// A picture of one run, drawn from its output folder: the waveform, the words
// and phones on a time axis coloured by their scores, the volume and pitch
// tracks and the discount reasons that applied.
//
//   std::string svg = kedo::resultPictureSvg("/home/me/kedo/kedoData/output");
//   kedo::writeResultPicture("/home/me/kedo/kedoData/output", "run.svg");
//
// The folder must hold the run's "output.wave" (the conditioned recording) and
// "output.xml" (the result document); a folder without them raises KedoError
// naming the missing files. The picture is SVG 1.1 in UTF-8.
#pragma once

#include <string>

namespace kedo {

std::string resultPictureSvg(const std::string& outputFolder);
// Writes the picture to svgPath (replaced when it exists).
void writeResultPicture(const std::string& outputFolder, const std::string& svgPath);

}  // namespace kedo
