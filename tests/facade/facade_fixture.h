// Shared pieces of the facade tests: a scratch working folder holding a copy
// of the bundled kedoData, a recorder double, and a pipeline double.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "facade/kedo_internals.h"
#include "facade/posix_platform.h"
#include "support/test_support.h"
#include "util/file_util.h"
#include "util/report_error.h"

namespace kedo::test {

// What the recorder double does and what was asked of it.
struct RecorderScript {
    bool startOk = true;
    bool writeOk = true;
    int pollsWhileRecording = 2;  // isRecording answers true this many times
    bool stalls = false;          // isRecording never ends
    std::vector<double> starts;   // recording times asked for
    int polls = 0;
    std::vector<std::string> writes;  // paths written
};

class ScriptedRecorder : public Recorder {
public:
    explicit ScriptedRecorder(std::shared_ptr<RecorderScript> script) : m_script(std::move(script)) {}
    bool startRecording(double seconds) override {
        m_script->starts.push_back(seconds);
        m_left = m_script->pollsWhileRecording;
        return m_script->startOk;
    }
    bool isRecording() override {
        ++m_script->polls;
        if (m_script->stalls) return true;
        return m_left-- > 0;
    }
    bool stopRecording() override { return true; }
    bool writeWav(const std::string& path) override {
        if (!m_script->writeOk) return false;
        m_script->writes.push_back(path);
        writeFile(resolvePath(path), "RIFF recording");
        return true;
    }
    std::string lastError() const override { return m_script->startOk ? "write failed" : "no capture device"; }

private:
    std::shared_ptr<RecorderScript> m_script;
    int m_left = 0;
};

// The POSIX layer with the recorder double and no real sleeping.
class TestPlatform : public PosixPlatform {
public:
    explicit TestPlatform(std::shared_ptr<RecorderScript> script) : m_script(std::move(script)) {}
    std::unique_ptr<Recorder> makeRecorder(int, int, int) override {
        return std::make_unique<ScriptedRecorder>(m_script);
    }
    void sleepMilliseconds(int) override { usleep(1000); }

private:
    std::shared_ptr<RecorderScript> m_script;
};

// One pipeline run as the double saw it.
struct PipelineCall {
    recogParam param;
    std::string txtContent;  // the candidate file's bytes at the call
    bool wavExisted = false;
};

// What the pipeline double does: leave a diagnostic file, then score or fail.
struct PipelineScript {
    float score = 87.5f;
    std::vector<std::string> texts;  // recognised candidate texts (engine bytes)
    std::string failWith;            // non-empty: the run ends with this error
    std::function<void()> during;    // runs in the middle of the call
    std::vector<PipelineCall> calls;
};

inline PipelineRunner scriptedPipeline(std::shared_ptr<PipelineScript> script) {
    return [script](recogParam& p, mlfClass& mlf) {
        PipelineCall call{p, {}, fileExists(p.wavFile)};
        if (fileExists(p.txtFile)) call.txtContent = readFileBytes(p.txtFile);
        script->calls.push_back(call);
        writeFile(resolvePath("kedoData/output/diag" + std::to_string(script->calls.size()) + ".txt"), "diagnostics");
        if (script->during) script->during();
        if (!script->failWith.empty()) reportError(script->failWith);
        mlf.score = script->score;
        mlf.texts = script->texts;
        return 0;
    };
}

// A scratch working folder with a copy of the bundled data folder; the
// current folder is restored when the test ends.
class FacadeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_cwd = std::filesystem::current_path();
        std::filesystem::copy(std::string(KEDO_SOURCE_DIR) + "/tests/data/toy/kedoData", home.file("kedoData"),
                              std::filesystem::copy_options::recursive);
    }
    void TearDown() override { std::filesystem::current_path(m_cwd); }

    std::unique_ptr<KEDO> makeEngine() {
        return KEDOInternals::make(home.path(), std::make_unique<TestPlatform>(recorder), scriptedPipeline(pipeline));
    }
    std::string output(const std::string& name) const { return home.file("kedoData/output/" + name); }

    TempDir home;
    std::shared_ptr<RecorderScript> recorder = std::make_shared<RecorderScript>();
    std::shared_ptr<PipelineScript> pipeline = std::make_shared<PipelineScript>();

private:
    std::filesystem::path m_cwd;
};

}  // namespace kedo::test
