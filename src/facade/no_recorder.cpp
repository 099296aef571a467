// The recorder of a build without the audio subsystem: every recording fails.
#include "facade/posix_platform.h"

namespace kedo {

namespace {

class NoRecorder : public Recorder {
public:
    bool startRecording(double) override { return false; }
    bool isRecording() override { return false; }
    bool stopRecording() override { return true; }
    bool writeWav(const std::string&) override { return false; }
    std::string lastError() const override { return "The recorder is not part of this build."; }
};

}  // namespace

std::unique_ptr<Recorder> PosixPlatform::makeRecorder(int, int, int) { return std::make_unique<NoRecorder>(); }

}  // namespace kedo
