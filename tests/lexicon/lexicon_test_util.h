// Helpers of the lexicon tests: a model set made of names only, output capture.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "kedo/error.h"
#include "lexicon/dict.h"
#include "support/test_support.h"

namespace kedo::test {

// A sorted list of model names with the lookup rules of a model set: exact
// match; -1 for the reserved units; for "a+b" the first "a+sil...", else the
// first "a+...", else model 0.
class nameModels {
public:
    explicit nameModels(std::vector<std::string> names) : names_(std::move(names)) {
        std::sort(names_.begin(), names_.end());
    }
    int32_t find(const std::string& name) const {
        auto it = std::lower_bound(names_.begin(), names_.end(), name);
        if (it != names_.end() && *it == name) return static_cast<int32_t>(it - names_.begin());
        if (name == "sp" || name == "sil" || name == "filler" || name == "fillerC" || name == "fillerV") return -1;
        size_t plus = name.find('+');
        if (plus == std::string::npos) return 0;
        for (const std::string& prefix : {name.substr(0, plus + 1) + "sil", name.substr(0, plus + 1)})
            for (size_t i = 0; i < names_.size(); ++i)
                if (names_[i].compare(0, prefix.size(), prefix) == 0) return static_cast<int32_t>(i);
        return 0;
    }
    modelSetView view() const {
        modelSetView v;
        v.modelNum = static_cast<int32_t>(names_.size());
        v.findModel = [this](const std::string& n) { return find(n); };
        v.modelName = [this](int32_t i) { return names_[static_cast<size_t>(i)]; };
        return v;
    }
    const std::vector<std::string>& names() const { return names_; }

private:
    std::vector<std::string> names_;
};

// Runs f with standard output captured; returns what it printed.
inline std::string captureOut(const std::function<void()>& f) {
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    try {
        f();
    } catch (...) {
        std::fflush(stdout);
        testing::internal::GetCapturedStdout();
        throw;
    }
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
}

// The message of the KedoError that f raises ("" if it raises none).
inline std::string errorOf(const std::function<void()>& f) {
    ScopedEnv noLog("temp", ""), noLog2("TEMP", "");
    try {
        captureOut(f);
    } catch (const KedoError& e) {
        return e.what();
    }
    return "";
}

inline std::string lexData(const std::string& name) { return dataPath("lexicon/" + name); }

}  // namespace kedo::test
