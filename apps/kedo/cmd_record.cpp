// kedo record: record from the capture device into a WAV file.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "audio/sound_buffer.h"
#include "audio/wav_file.h"
#include "cli.h"
#include "kedo/error.h"

namespace kedo::cli {
namespace {

int runRecord(const Args& args) {
    if (args.positional.size() != 2) throw UsageError{"expected SECONDS and OUT.wav"};
    double seconds = parseRecordSeconds(args.positional[0]);
    const std::string& out = args.positional[1];
    soundBuffer recorder(1, 16000, 16);
    if (!recorder.startRecording(seconds)) throw KedoError("Cannot start recording: " + recorder.lastError());
    while (recorder.isRecording()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (recorder.lastError() != soundBuffer::errorText(SB_NO_ERROR))
        throw KedoError("Recording failed: " + recorder.lastError());
    if (!writeWav(recorder, out, args.flag("mulaw"))) throw KedoError("Cannot write " + out + ": " + recorder.lastError());
    if (!args.flag("quiet")) std::printf("Recorded %zu bytes\n\t===> Saved %s\n", recorder.data().size(), out.c_str());
    return 0;
}

const Registration reg{Command{
    "record",
    "record from the capture device into a WAV file",
    "Usage: kedo record SECONDS OUT.wav [--mulaw] [--quiet]\n\n"
    "Records SECONDS (0.0000625 to 3600) of 16 kHz 16-bit mono audio and writes\n"
    "it as a PCM WAV file (8-bit u-law with --mulaw). The device is ALSA's\n"
    "\"default\" unless the environment variable KEDO_CAPTURE_DEVICE names\n"
    "another ALSA device, or is file:PATH to play the WAV file PATH in real time\n"
    "instead of a microphone (it must be 16 kHz 16-bit mono).\n\n"
    "  --mulaw  write 8-bit u-law instead of 16-bit PCM\n"
    "  --quiet  print nothing on success (errors still go to standard error)\n",
    {},
    {"mulaw", "quiet"},
    runRecord}};

}  // namespace
}  // namespace kedo::cli
