// The command-line road into the engine object: one operation on a fresh
// object, its result as text or JSON, and the output folder's files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "kedo/engine.h"

namespace kedo {

enum class FacadeOperation { assess, recog, recordAssess, recordRecog };

struct FacadeRequest {
    FacadeOperation operation = FacadeOperation::assess;
    std::string audio;     // assess, recog: the audio file
    double seconds = 0;    // record-*: the recording time
    std::string text;      // assess: the sentence; recog: the sentence list file
    std::string home;      // the working folder; empty: KEDO_HOME or the installed data
    int32_t language = 0;  // 0 English, nonzero Chinese
    // The process ends soon after this request (a command-line run): the
    // engine object and the model set and tables it keeps are left for the
    // process's end to reclaim, rather than freed piece by piece (about a
    // tenth of a fresh assessment).
    bool processEndsAfter = false;
};

struct FacadeOutcome {
    Status status = Status::failed;
    std::string error;     // the message when status is not ok
    ErrorKind errorKind = ErrorKind::none;
    double score = 0;      // assess
    std::string sentence;  // recog
    RunResult result;      // everything the run found
    std::string outputFolder;
    std::vector<std::string> files;  // names in the output folder, sorted
    std::vector<std::string> warnings;  // the run's warnings, UTF-8
};

// The sentence list a recognition reads: the named file itself, or, when it
// is in UTF-8 (with a byte-order mark, or valid UTF-8 with a character beyond
// ASCII), a copy converted to the language's code page in the temp folder,
// removed with the object. An unreadable file raises KedoError naming it.
class SentenceList {
public:
    SentenceList(const std::string& name, int32_t language);
    ~SentenceList();
    SentenceList(const SentenceList&) = delete;
    SentenceList& operator=(const SentenceList&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
    std::string m_copy;
};

// Creates an engine object, switches to the language if it is not English and
// runs the operation. Relative audio and list file names are taken relative
// to the current folder at the call (the engine then works in its own folder).
FacadeOutcome runFacadeRequest(const FacadeRequest& request);

// The run's result as runResultJson writes it ("warnings" included), with
// "files" added.
std::string facadeOutcomeJson(const FacadeOutcome& outcome);

// Runs the request and prints the result: "score=N" or "text=SENTENCE" after
// the engine's progress lines, or with json only the JSON document on
// standard output (progress goes to standard error). Errors and the run's
// warnings ("Warning: ...") go to standard error. Returns the exit status:
// 0, or 1 on failure.
// With quiet the progress lines are dropped: standard output holds only the
// result line (or the JSON document).
int runFacadeCommand(const FacadeRequest& request, bool json, bool quiet = false);

}  // namespace kedo
