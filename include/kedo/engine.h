// The engine object: five operations behind the IKEDO interface.
//
//   kedo::KEDO engine;                      // working folder: KEDO_HOME or the installed data
//   double score = 0;
//   if (engine.Assess("/data/hello.wav", "hello world", score) != kedo::Status::ok)
//       std::fprintf(stderr, "%s\n", engine.lastErrorMessage().c_str());
//
// Relative file names (arguments and the names inside parameter files) are
// relative to the object's working folder; no operation changes the
// process's current folder. Objects with different working folders run at
// the same time on threads of one process, each with its own progress sink.
// One operation at a time runs per working folder (objects on the same folder
// share its output folder): a call made while another one runs on it on a
// different thread returns Status::busy at once.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kedo/error.h"
#include "kedo/export.h"
#include "kedo/run_result.h"
#include "kedo/progress.h"

namespace kedo {

// The status every operation returns. On failure the operation's message is
// available from lastErrorMessage() on the same thread.
enum class Status : int32_t {
    ok = 0,      // the out argument holds the result
    failed = 1,  // the operation ended with an error; the out argument is unchanged
    busy = 2,    // refused: another operation is running on this working folder
};

// The engine's interface. Narrow strings are UTF-8; wide strings are UTF-32
// (or UTF-16 where wchar_t has 16 bits). Sentences are converted to the code
// page of the current language (Big5/CP950 for Chinese, Windows-1252 for English)
// and the recognised sentence is converted back; a character the code page
// cannot hold is an error. On Windows both directions use the calling thread's
// ANSI code page instead. File names are handed to the file system as given
// (on Windows: converted to the thread's ANSI code page, in which a name with
// a character the code page cannot hold is an error).
class KEDO_API IKEDO {
public:
    virtual ~IKEDO() = default;

    // Records recordTime seconds from the capture device, saves the recording
    // as "kedoData/output/saWAV.wav" and assesses it against sentence.
    virtual Status RecordAndAssess(double recordTime, const std::string& sentence, double& score) = 0;
    // Records recordTime seconds, saves "kedoData/output/vcWAV.wav" and
    // recognises which sentence of the list file was spoken.
    virtual Status RecordAndRecog(double recordTime, const std::string& sentenceListFileName,
                                  std::string& resultSentence) = 0;
    // Assesses the audio file against sentence: a score from 0 to 100.
    virtual Status Assess(const std::string& wavFileName, const std::string& sentence, double& score) = 0;
    // Recognises which sentence of the list file the audio file holds.
    virtual Status Recog(const std::string& wavFileName, const std::string& sentenceListFileName,
                         std::string& resultSentence) = 0;
    // Nonzero selects Chinese, 0 selects English: reloads both parameter sets.
    virtual Status SwitchLanguage(int32_t type) = 0;

    // The same operations for hosts that hold wide strings.
    virtual Status RecordAndAssess(double recordTime, const std::wstring& sentence, double& score) = 0;
    virtual Status RecordAndRecog(double recordTime, const std::wstring& sentenceListFileName,
                                  std::wstring& resultSentence) = 0;
    virtual Status Assess(const std::wstring& wavFileName, const std::wstring& sentence, double& score) = 0;
    virtual Status Recog(const std::wstring& wavFileName, const std::wstring& sentenceListFileName,
                         std::wstring& resultSentence) = 0;

    // The message of the calling thread's last failed operation on this
    // object (UTF-8); empty after a successful one.
    virtual std::string lastErrorMessage() const = 0;
};

// The engine object. Construction creates the recorder (1 channel, 16000 Hz,
// 16 bits), checks the working folder, loads the English
// parameter sets and empties "kedoData/output"; it throws KedoError when one
// of these fails. The working folder is workingFolder when given, else the
// environment variable KEDO_HOME, else the data folder installed with the
// engine ("C:\kedoCom" on Windows). A relative working folder is taken
// relative to the current folder at construction.
class KEDO_API KEDO : public IKEDO {
public:
    explicit KEDO(const std::string& workingFolder = {});
    ~KEDO() override;
    KEDO(const KEDO&) = delete;
    KEDO& operator=(const KEDO&) = delete;

    Status RecordAndAssess(double recordTime, const std::string& sentence, double& score) override;
    Status RecordAndRecog(double recordTime, const std::string& sentenceListFileName,
                          std::string& resultSentence) override;
    Status Assess(const std::string& wavFileName, const std::string& sentence, double& score) override;
    Status Recog(const std::string& wavFileName, const std::string& sentenceListFileName,
                 std::string& resultSentence) override;
    Status SwitchLanguage(int32_t type) override;

    Status RecordAndAssess(double recordTime, const std::wstring& sentence, double& score) override;
    Status RecordAndRecog(double recordTime, const std::wstring& sentenceListFileName,
                          std::wstring& resultSentence) override;
    Status Assess(const std::wstring& wavFileName, const std::wstring& sentence, double& score) override;
    Status Recog(const std::wstring& wavFileName, const std::wstring& sentenceListFileName,
                 std::wstring& resultSentence) override;

    std::string lastErrorMessage() const override;
    // The warnings of the calling thread's last operation (UTF-8, one line
    // each), such as a Chinese character left out of the assessed sentence.
    std::vector<std::string> lastWarnings() const;

    // The operations again, returning everything the run found (see
    // run_result.h) instead of the score or sentence alone. Failures as above;
    // lastErrorKind() tells their cause.
    Status AssessResult(const std::string& wavFileName, const std::string& sentence, RunResult& result);
    Status RecogResult(const std::string& wavFileName, const std::string& sentenceListFileName, RunResult& result);
    Status RecordAndAssessResult(double recordTime, const std::string& sentence, RunResult& result);
    Status RecordAndRecogResult(double recordTime, const std::string& sentenceListFileName, RunResult& result);

    // The kind of the calling thread's last failed operation on this object;
    // ErrorKind::none after a successful one.
    ErrorKind lastErrorKind() const;

    // Where the progress, timing and "Saved" lines of this object's
    // operations go (see kedo/progress.h): standard output unless set. Set it
    // between operations, not while one runs.
    void setProgressSink(ProgressSink sink);

    // The absolute working folder, and the output folder under it.
    const std::string& workingFolder() const;
    std::string outputFolder() const;

    struct State;  // the object's data (opaque)

private:
    friend struct KEDOInternals;
    explicit KEDO(std::unique_ptr<State> state);

    std::unique_ptr<State> m_state;
};

}  // namespace kedo
