// The C interface: a thin layer over the engine object that keeps every
// exception inside and the last error message per thread.
#include "kedo/kedo.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>

#include "kedo/engine.h"

struct kedo_engine {
    explicit kedo_engine(const std::string& folder) : object(folder) {}
    kedo::KEDO object;
};

static_assert(KEDO_OK == static_cast<int>(kedo::Status::ok) && KEDO_FAILED == static_cast<int>(kedo::Status::failed) &&
                  KEDO_BUSY == static_cast<int>(kedo::Status::busy),
              "the C status codes are the engine's");

namespace {

thread_local std::string t_lastError;
thread_local int t_lastErrorKind = KEDO_ERROR_NONE;

static_assert(KEDO_ERROR_BAD_INPUT == static_cast<int>(kedo::ErrorKind::badInput) &&
                  KEDO_ERROR_UNKNOWN_WORD == static_cast<int>(kedo::ErrorKind::unknownWord) &&
                  KEDO_ERROR_BAD_AUDIO == static_cast<int>(kedo::ErrorKind::badAudio) &&
                  KEDO_ERROR_ENGINE == static_cast<int>(kedo::ErrorKind::engine),
              "the C error kinds are the engine's");

void failWith(const std::string& message, int kind) {
    t_lastError = message;
    t_lastErrorKind = kind;
}

int finish(kedo_engine* engine, kedo::Status status) {
    if (status == kedo::Status::ok) {
        failWith({}, KEDO_ERROR_NONE);
    } else {
        t_lastError = engine->object.lastErrorMessage();
        t_lastErrorKind = static_cast<int>(engine->object.lastErrorKind());
    }
    return static_cast<int>(status);
}

int invalid(const char* function, const char* argument) {
    failWith(std::string(function) + ": " + argument + " is null", KEDO_ERROR_BAD_INPUT);
    return KEDO_INVALID_ARGUMENT;
}

// A malloc'ed copy for the host to free with kedo_free_string.
char* copyString(const std::string& text) {
    char* out = static_cast<char*>(std::malloc(text.size() + 1));
    if (out != nullptr) std::memcpy(out, text.c_str(), text.size() + 1);
    return out;
}

// Runs an operation, keeping every exception (out of memory, mostly) inside.
template <class Op>
int guarded(Op&& op) {
    try {
        return op();
    } catch (const std::exception& e) {
        failWith(e.what(), KEDO_ERROR_ENGINE);
    } catch (...) {
        failWith("Unexpected failure", KEDO_ERROR_ENGINE);
    }
    return KEDO_FAILED;
}

int returnString(kedo_engine* engine, kedo::Status status, const std::string& result, char** out) {
    if (status == kedo::Status::ok) {
        char* copy = copyString(result);
        if (copy == nullptr) {
            failWith("Out of memory", KEDO_ERROR_ENGINE);
            return KEDO_FAILED;
        }
        *out = copy;
    }
    return finish(engine, status);
}

}  // namespace

extern "C" {

kedo_engine* kedo_create(const char* working_folder) {
    try {
        auto* engine = new kedo_engine(working_folder ? working_folder : "");
        failWith({}, KEDO_ERROR_NONE);
        return engine;
    } catch (const kedo::KedoError& e) {
        failWith(e.what(), static_cast<int>(e.kind()));
    } catch (const std::exception& e) {
        failWith(e.what(), KEDO_ERROR_ENGINE);
    } catch (...) {
        failWith("Unexpected failure", KEDO_ERROR_ENGINE);
    }
    return nullptr;
}

void kedo_destroy(kedo_engine* engine) { delete engine; }

int kedo_record_and_assess(kedo_engine* engine, double record_time, const char* sentence, double* score) {
    if (!engine) return invalid(__func__, "engine");
    if (!sentence) return invalid(__func__, "sentence");
    if (!score) return invalid(__func__, "score");
    return guarded(
        [&] { return finish(engine, engine->object.RecordAndAssess(record_time, std::string(sentence), *score)); });
}

int kedo_record_and_recog(kedo_engine* engine, double record_time, const char* sentence_list_file,
                          char** result_sentence) {
    if (!engine) return invalid(__func__, "engine");
    if (!sentence_list_file) return invalid(__func__, "sentence_list_file");
    if (!result_sentence) return invalid(__func__, "result_sentence");
    return guarded([&] {
        std::string result;
        kedo::Status status = engine->object.RecordAndRecog(record_time, std::string(sentence_list_file), result);
        return returnString(engine, status, result, result_sentence);
    });
}

int kedo_assess(kedo_engine* engine, const char* wav_file, const char* sentence, double* score) {
    if (!engine) return invalid(__func__, "engine");
    if (!wav_file) return invalid(__func__, "wav_file");
    if (!sentence) return invalid(__func__, "sentence");
    if (!score) return invalid(__func__, "score");
    return guarded(
        [&] { return finish(engine, engine->object.Assess(std::string(wav_file), std::string(sentence), *score)); });
}

int kedo_recog(kedo_engine* engine, const char* wav_file, const char* sentence_list_file, char** result_sentence) {
    if (!engine) return invalid(__func__, "engine");
    if (!wav_file) return invalid(__func__, "wav_file");
    if (!sentence_list_file) return invalid(__func__, "sentence_list_file");
    if (!result_sentence) return invalid(__func__, "result_sentence");
    return guarded([&] {
        std::string result;
        kedo::Status status = engine->object.Recog(std::string(wav_file), std::string(sentence_list_file), result);
        return returnString(engine, status, result, result_sentence);
    });
}

int kedo_assess_result(kedo_engine* engine, const char* wav_file, const char* sentence, char** result_json) {
    if (!engine) return invalid(__func__, "engine");
    if (!wav_file) return invalid(__func__, "wav_file");
    if (!sentence) return invalid(__func__, "sentence");
    if (!result_json) return invalid(__func__, "result_json");
    return guarded([&] {
        kedo::RunResult result;
        kedo::Status status = engine->object.AssessResult(wav_file, sentence, result);
        return returnString(engine, status, status == kedo::Status::ok ? kedo::runResultJson(result) : "",
                            result_json);
    });
}

int kedo_recog_result(kedo_engine* engine, const char* wav_file, const char* sentence_list_file,
                      char** result_json) {
    if (!engine) return invalid(__func__, "engine");
    if (!wav_file) return invalid(__func__, "wav_file");
    if (!sentence_list_file) return invalid(__func__, "sentence_list_file");
    if (!result_json) return invalid(__func__, "result_json");
    return guarded([&] {
        kedo::RunResult result;
        kedo::Status status = engine->object.RecogResult(wav_file, sentence_list_file, result);
        return returnString(engine, status, status == kedo::Status::ok ? kedo::runResultJson(result) : "",
                            result_json);
    });
}

int kedo_switch_language(kedo_engine* engine, int32_t type) {
    if (!engine) return invalid(__func__, "engine");
    return guarded([&] { return finish(engine, engine->object.SwitchLanguage(type)); });
}

int kedo_set_progress_callback(kedo_engine* engine, kedo_progress_fn callback, void* user) {
    if (engine == nullptr) return invalid("kedo_set_progress_callback", "engine");
    return guarded([&]() {
        if (callback == nullptr)
            engine->object.setProgressSink(nullptr);
        else
            engine->object.setProgressSink(
                [callback, user](std::string_view text) { callback(text.data(), text.size(), user); });
        t_lastError.clear();
        return KEDO_OK;
    });
}

int kedo_set_progress_file(kedo_engine* engine, const char* path) {
    if (engine == nullptr) return invalid("kedo_set_progress_file", "engine");
    return guarded([&]() {
        engine->object.setProgressSink(path == nullptr ? kedo::progressToStandardOutput()
                                                       : kedo::progressToFile(path));
        t_lastError.clear();
        return KEDO_OK;
    });
}

const char* kedo_last_error(void) { return t_lastError.c_str(); }

int kedo_last_error_kind(void) { return t_lastErrorKind; }

void kedo_free_string(char* text) { std::free(text); }

}  // extern "C"
