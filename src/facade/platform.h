// The operating-system layer under the engine object: working folder, current
// folder, folder emptying, code-page conversion and the recorder. The engine
// object only talks to the system through this seam, so another system's
// build (or a test) supplies its own.
#pragma once

#include <memory>
#include <string>

namespace kedo {

// The microphone recorder as the engine object uses it. Operations return
// false on failure and leave the reason in lastError(); they never raise.
class Recorder {
public:
    virtual ~Recorder() = default;
    // Starts recording `seconds` of audio.
    virtual bool startRecording(double seconds) = 0;
    // True while the recording runs; stops it once its buffer is full.
    virtual bool isRecording() = 0;
    // Stops the recording (true if nothing was recording).
    virtual bool stopRecording() = 0;
    // Writes the last recording as a PCM WAV file.
    virtual bool writeWav(const std::string& path) = 0;
    virtual std::string lastError() const = 0;
};

// The languages whose code pages the engine's text data use.
enum class CodePage {
    cp1252,  // English: Windows-1252 (Latin-1 letters, typographic quotes and dashes)
    cp950,   // Chinese: Big5 (CP950), two bytes a character
};

class Platform {
public:
    virtual ~Platform() = default;

    // The working folder used when the host names none.
    virtual std::string defaultWorkingFolder() const = 0;
    // The absolute form of a folder name given by the host.
    virtual std::string absoluteFolder(const std::string& folder) const = 0;
    // The separator of the data layout's paths ("kedoData/output/saWAV.wav").
    virtual char separator() const = 0;

    // Raises KedoError unless folder is an existing folder. The engine never
    // changes the process's current folder: relative names resolve against
    // the working folder per thread (util/file_util.h).
    virtual void checkFolder(const std::string& folder) = 0;
    // Deletes every file directly inside folder; sub-folders stay, failed
    // deletions are ignored. A folder that does not exist is created.
    virtual void emptyFolder(const std::string& folder) = 0;

    // Host text (UTF-8) to the engine's byte text in a code page, and back.
    // `what` names the text in error messages ("sentence"). A character the
    // code page cannot hold, or malformed input, raises KedoError.
    virtual std::string toEngineText(const std::string& hostText, CodePage page, const char* what) const = 0;
    virtual std::string toHostText(const std::string& engineText, CodePage page, const char* what) const = 0;
    // A file name given by the host (UTF-8) as the narrow name that the C
    // runtime opens. `what` names it in error messages ("audio file name");
    // a name the system's narrow file names cannot spell raises KedoError.
    virtual std::string toEngineFileName(const std::string& hostName, const char* what) const = 0;

    // True when files can be created and deleted in the folder path, or, if
    // it does not exist yet, in the nearest folder above it that does.
    virtual bool canWriteUnder(const std::string&) const { return true; }
    // The per-user folder that takes the output of an engine whose working
    // folder cannot be written (an installed data folder); empty when the
    // system offers none.
    virtual std::string userStateFolder() const { return {}; }

    // The recorder of the engine object.
    virtual std::unique_ptr<Recorder> makeRecorder(int channels, int rate, int bits) = 0;
    virtual void sleepMilliseconds(int ms) = 0;
};

// The layer of the system the engine was built for: the POSIX layer
// (KEDO_HOME or the installed data folder, iconv) or the Windows layer
// (KEDO_HOME or "C:\\kedoCom", the thread's ANSI code
// page). Both record with makeSoundBufferRecorder.
std::unique_ptr<Platform> makePlatform();

// The audio subsystem's sound buffer as the recorder, with the capture device
// that KEDO_CAPTURE_DEVICE names (see audio/capture_service.h).
std::unique_ptr<Recorder> makeSoundBufferRecorder(int channels, int rate, int bits);

}  // namespace kedo
