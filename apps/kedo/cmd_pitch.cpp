// kedo pitch: the pitch contour of an audio file, one semitone value per frame.
#include <unistd.h>

#include <cstdio>

#include "audio/audio_file.h"
#include "cli.h"
#include "frontend/pitch.h"
#include "util/file_util.h"

namespace kedo::cli {
namespace {

// Sends the library's progress lines to standard error while it lives, so
// that standard output carries only the contour.
class ProgressToStderr {
public:
    ProgressToStderr() : saved_(dup(1)) {
        std::fflush(stdout);
        dup2(2, 1);
    }
    ~ProgressToStderr() {
        std::fflush(stdout);
        if (saved_ >= 0) {
            dup2(saved_, 1);
            close(saved_);
        }
    }
    ProgressToStderr(const ProgressToStderr&) = delete;
    ProgressToStderr& operator=(const ProgressToStderr&) = delete;

private:
    int saved_;
};

int runPitch(const Args& args) {
    if (args.positional.size() != 1) throw UsageError{"expected one audio file"};
    std::string params = args.get("params");
    std::vector<float> pitch;
    {
        ProgressToStderr quiet;
        if (!params.empty()) openFile(params, "r");  // a named file must exist
        SampleArray wave = readMonoAudioFile(args.positional[0]);
        pitch = wavePitch(wave, params);
    }
    for (float v : pitch) std::printf("%g\n", static_cast<double>(v));
    return 0;
}

const Registration reg{Command{
    "pitch",
    "print the pitch contour of an audio file in semitones",
    "Usage: kedo pitch [--params FILE] AUDIO\n\n"
    "Loads and conditions AUDIO as the pipeline does, tracks its pitch with\n"
    "autocorrelation (two passes, the second within 24 semitones around the\n"
    "first pass's median) and prints one value per pitch frame (10 ms at\n"
    "16000 Hz): the semitone number (69 = 440 Hz), or 0 where the frame is\n"
    "unvoiced. Progress lines and warnings go to standard error.\n\n"
    "  --params FILE  pitch parameter file ('key = value' lines, e.g.\n"
    "                 medianFilterOrder = 5, minPitch = 40); its fields are\n"
    "                 printed to standard error after reading\n",
    {"params"},
    {},
    runPitch}};

}  // namespace
}  // namespace kedo::cli
