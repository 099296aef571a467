// The training recipe: corpus and transcripts through the engine's own
// lexicon, features through the engine's own front end (cached), flat start,
// Baum-Welch stages with checkpoints, and the output files.
#include "train/trainer.h"
#include "util/progress.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string_view>
#include <thread>

#include "acoustic/macro.h"
#include "audio/audio_file.h"
#include "facade/platform.h"
#include "frontend/epd.h"
#include "kedo/result.h"
#include "lexicon/dict.h"
#include "lexicon/lexicon_stage.h"
#include "lexicon/text.h"
#include "task/pipeline.h"
#include "task/recog_param.h"
#include "train/baum_welch.h"
#include "util/file_util.h"
#include "util/report_error.h"

namespace kedo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kModule = "train";
constexpr int kDim = 39;

// ---- small helpers ----

uint64_t fnv1a(uint64_t h, const std::string& s) {
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    h ^= 0xff;
    h *= 1099511628211ull;
    return h;
}

std::string hex64(uint64_t v) { return strFormat("%016llx", static_cast<unsigned long long>(v)); }

void writeFileAtomic(const std::string& path, const std::string& bytes) {
    std::string tmp = path + ".tmp";
    {
        FilePtr f = openFile(tmp, "wb");
        if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) != bytes.size())
            reportError(strFormat("Cannot write %s (line %d of %s)", tmp.c_str(), __LINE__, kModule));
    }
    std::error_code ec;
    fs::rename(tmp, path, ec);
    if (ec) reportError(strFormat("Cannot rename %s to %s (line %d of %s)", tmp.c_str(), path.c_str(), __LINE__, kModule));
}

// Interns model names: the lexicon resolves every name it meets to an index
// here, so the same dictionary code that serves a run builds the trainer's
// model sequences.
class nameTable {
public:
    int32_t intern(const std::string& name) {
        auto it = m_index.find(name);
        if (it != m_index.end()) return it->second;
        int32_t id = static_cast<int32_t>(m_names.size());
        m_names.push_back(name);
        m_index.emplace(name, id);
        return id;
    }
    const std::string& name(int32_t id) const { return m_names[id]; }
    int32_t size() const { return static_cast<int32_t>(m_names.size()); }
    modelSetView view() {
        modelSetView v;
        v.modelNum = 1 << 24;
        v.findModel = [this](const std::string& n) { return intern(n); };
        v.modelName = [this](int32_t i) { return i >= 0 && i < size() ? m_names[i] : std::string("???"); };
        return v;
    }

private:
    StrVec m_names;
    std::map<std::string, int32_t> m_index;
};

// One training or held-out utterance after the lexicon.
struct utterance {
    corpusEntry entry;
    std::string text;  // transcript in the code page, normalised
    bool heldOut = false;
    std::string skipReason;  // empty: usable
    // Pronunciation variants: per variant, per unit (word or syllable), the
    // model name ids.
    std::vector<std::vector<std::vector<int32_t>>> variants;
    int64_t featureOffset = -1;
    int32_t frames = 0;
};

// ---- the logger ----

// train.log, and the terminal for the lines a user follows a run by.
class trainLog {
public:
    trainLog(const std::string& path, bool append, ProgressSink terminal) : m_terminal(std::move(terminal)) {
        m_file = std::fopen(path.c_str(), append ? "ab" : "wb");
        if (!m_file) reportError(strFormat("Cannot write %s (line %d of %s)", path.c_str(), __LINE__, kModule));
    }
    ~trainLog() {
        if (m_file) std::fclose(m_file);
    }
    trainLog(const trainLog&) = delete;
    trainLog& operator=(const trainLog&) = delete;
    // A line of train.log that the terminal shows too.
    void line(const std::string& text) {
        detail(text);
        if (m_terminal) m_terminal(text + "\n");
    }
    // A line of train.log alone (per-model figures, per-utterance reasons).
    void detail(const std::string& text) {
        std::fprintf(m_file, "%s\n", text.c_str());
        std::fflush(m_file);
    }

private:
    std::FILE* m_file = nullptr;
    ProgressSink m_terminal;
};

// The engine's own progress lines of the runs inside the training, from
// every thread: dropped, or (verbose) kept in memory until the output folder
// exists and appended to its engine.log from then on.
class engineLines {
public:
    explicit engineLines(bool keep) : m_keep(keep) {}
    void write(std::string_view text) {
        if (!m_keep) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_file)
            m_file(text);
        else
            m_pending.append(text);
    }
    void open(const std::string& path, bool append) {
        if (!m_keep) return;
        if (!append) FilePtr truncate = openFile(path, "wb");
        std::lock_guard<std::mutex> lock(m_mutex);
        m_file = progressToFile(path);
        m_file(m_pending);
        m_pending.clear();
    }

private:
    bool m_keep;
    std::mutex m_mutex;
    std::string m_pending;
    ProgressSink m_file;
};

double secondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Progress through a long stage for the terminal: "WHAT: DONE of TOTAL, N s,
// about M s left" at most every kProgressSeconds; a stage that ends sooner
// shows none.
class stageProgress {
public:
    static constexpr double kProgressSeconds = 15;
    stageProgress(const ProgressSink& sink, std::string what, size_t total)
        : m_sink(sink), m_what(std::move(what)), m_total(total), m_t0(std::chrono::steady_clock::now()) {}
    void at(size_t done) {
        if (!m_sink || done == 0 || done >= m_total) return;
        const double t = secondsSince(m_t0);
        if (t - m_last < kProgressSeconds) return;
        m_last = t;
        m_sink(strFormat("%s: %zu of %zu, %.0f s, about %.0f s left\n", m_what.c_str(), done, m_total, t,
                         t * static_cast<double>(m_total - done) / static_cast<double>(done)));
    }

private:
    const ProgressSink& m_sink;
    std::string m_what;
    size_t m_total;
    std::chrono::steady_clock::time_point m_t0;
    double m_last = 0;
};

// The set as the likelihood reads it: gconsts from the variances, then the
// engine's conversion.
macroClass convertedForLikelihood(const macroClass& set) {
    macroClass conv = set;
    computeGconsts(conv);
    conv.convertModels();
    return conv;
}

// ---- the recipe's steps ----

enum class phase { mono, context, mixture };

struct stepInfo {
    phase kind;
    int mixtures;
    bool firstOfPhase;
    int iteration;   // 1-based within the phase
    int iterations;  // of the phase
};

// The mixture counts a run splits to after the single-mixture stages: the
// given ones, then doubling up to target (1 -> 2 -> 4 -> 6 for 6).
std::vector<int> mixtureLadder(std::vector<int> ladder, int target) {
    int m = ladder.empty() ? 1 : ladder.back();
    while (m < target) {
        m = std::min(m * 2, target);
        ladder.push_back(m);
    }
    return ladder;
}

std::vector<stepInfo> planSteps(const trainOptions& o, const std::vector<int>& ladder) {
    std::vector<stepInfo> steps;
    for (int i = 1; i <= o.monoIterations; ++i) steps.push_back({phase::mono, 1, i == 1, i, o.monoIterations});
    for (int i = 1; i <= o.contextIterations; ++i)
        steps.push_back({phase::context, 1, i == 1, i, o.contextIterations});
    for (int m : ladder)
        for (int i = 1; i <= o.mixtureIterations; ++i)
            steps.push_back({phase::mixture, m, i == 1, i, o.mixtureIterations});
    return steps;
}

std::string ladderText(const std::vector<int>& ladder) {
    std::string t;
    for (int m : ladder) {
        if (!t.empty()) t += ',';
        t += std::to_string(m);
    }
    return t;
}

const char* phaseName(phase p) {
    switch (p) {
        case phase::mono: return "context-free";
        case phase::context: return "right-context";
        default: return "mixture";
    }
}

// ---- the trainer ----

class trainer {
public:
    explicit trainer(const trainOptions& o)
        : m_opt(o),
          m_engine(std::make_shared<engineLines>(o.verbose)),
          m_engineSink([e = m_engine](std::string_view text) { e->write(text); }) {}
    void run();

private:
    void checkOptions();
    void prepareLexicon();
    void prepareUtterances();
    void computeFeatures();
    void globalStatistics();
    void chooseModels();
    void buildPhysical(phase kind);
    void dropPhonesWithoutData();
    compositeHmm composite(const utterance& u, int variant) const;
    void loadFeatures(std::ifstream& in, const utterance& u, std::vector<float>& buf) const;
    int chooseVariant(const macroClass& conv, const utterance& u, const std::vector<float>& fea) const;
    void iterate(size_t stepIndex, const stepInfo& step, int steps);
    void finish();
    void fitConfidence(const macroClass& written, const std::vector<double>& frames, StrVec& cmLines);
    std::string runKey() const;
    std::string checkpointKey() const;
    std::vector<size_t> trainingUtterances() const;
    template <class Work, class Merge>
    void inChunks(const std::vector<size_t>& items, Work work, Merge afterRound, const std::string& what);

    trainOptions m_opt;
    std::shared_ptr<engineLines> m_engine;
    ProgressSink m_engineSink;  // every thread's sink for the engine's lines
    recogParam m_prm;
    std::unique_ptr<trainLog> m_log;
    dictClass m_dict;
    std::vector<textNormRule> m_rules;
    nameTable m_names;
    std::vector<utterance> m_utts;
    std::string m_featurePath;
    std::vector<std::vector<float>> m_globalMean, m_globalVar, m_varFloor;
    // Written models (name ids), their occurrence counts in the transcripts.
    std::vector<int32_t> m_written;
    std::map<int32_t, int> m_nameCount;
    // The trained set and the map from a name id to its model in it.
    macroClass m_phys;
    std::map<int32_t, int32_t> m_physOf;
    std::map<std::string, int32_t> m_physIndex;
    fillerPooling m_pooling;
    std::vector<double> m_lastOccupation;  // per model of m_phys, last iteration
    std::set<std::string> m_noData;        // phones that got no frame in the context-free stage
    int32_t m_sil = -1, m_sp = -1;
    std::chrono::steady_clock::time_point m_start;
};

std::vector<size_t> trainer::trainingUtterances() const {
    std::vector<size_t> v;
    for (size_t i = 0; i < m_utts.size(); ++i)
        if (!m_utts[i].heldOut && m_utts[i].skipReason.empty()) v.push_back(i);
    return v;
}

// Runs work(chunkIndex, items of the chunk) for fixed chunks of m_opt.chunkSize
// items, m_opt.threads chunks at a time; work must only touch its own chunk's
// state. Chunks of one round finish before the next round starts; then
// afterRound(chunks in the round) runs on the calling thread.
template <class Work, class Merge>
void trainer::inChunks(const std::vector<size_t>& items, Work work, Merge afterRound, const std::string& what) {
    stageProgress progress(m_opt.progress, what, items.size());
    const size_t chunk = static_cast<size_t>(std::max(1, m_opt.chunkSize));
    const size_t chunks = (items.size() + chunk - 1) / chunk;
    const size_t threads = static_cast<size_t>(std::max(1, m_opt.threads));
    for (size_t first = 0; first < chunks; first += threads) {
        size_t last = std::min(chunks, first + threads);
        std::vector<std::thread> pool;
        std::vector<std::string> errors(last - first);
        for (size_t c = first; c < last; ++c) {
            auto job = [&, c]() {
                ProgressScope engine(m_engineSink);
                try {
                    std::vector<size_t> part(items.begin() + c * chunk,
                                             items.begin() + std::min(items.size(), (c + 1) * chunk));
                    work(c - first, part);
                } catch (const std::exception& e) {
                    errors[c - first] = e.what();
                }
            };
            if (last - first == 1)
                job();
            else
                pool.emplace_back(job);
        }
        for (auto& t : pool) t.join();
        for (const auto& e : errors)
            if (!e.empty()) reportError(e);
        afterRound(last - first);
        progress.at(std::min(items.size(), last * chunk));
    }
}

void trainer::checkOptions() {
    if (m_opt.mixtures < 1 || m_opt.mixtures > MAX_MIXTURE_NUM)
        reportError(strFormat("--mixtures must be 1 to %d, not %d (line %d of %s)", MAX_MIXTURE_NUM, m_opt.mixtures,
                              __LINE__, kModule));
    if (m_opt.minContextCount < 1)
        reportError(strFormat("--min-context must be at least 1, not %d (line %d of %s)", m_opt.minContextCount,
                              __LINE__, kModule));
    if (m_opt.threads < 1 || m_opt.threads > 256)
        reportError(strFormat("--threads must be 1 to 256, not %d (line %d of %s)", m_opt.threads, __LINE__, kModule));
    if (m_opt.monoIterations < 1 || m_opt.contextIterations < 1 || m_opt.mixtureIterations < 1)
        reportError(strFormat("Every training stage needs at least one iteration (line %d of %s)", __LINE__, kModule));
    if (m_opt.outDir.empty()) reportError(strFormat("No output folder given (line %d of %s)", __LINE__, kModule));
}

void trainer::prepareLexicon() {
    readRecogParam(m_opt.prmFile, m_prm);
    if (m_prm.language != "english" && m_prm.language != "chinese")
        reportError(strFormat("Cannot train models for language \"%s\" of %s: only english and chinese (line %d of %s)",
                              m_prm.language.c_str(), m_opt.prmFile.c_str(), __LINE__, kModule));
    if (m_prm.tnmFile.empty())
        reportError(strFormat("Error: recogParam.tnmFile is not specified! (line %d in %s)", __LINE__, kModule));
    if (m_opt.progress) m_opt.progress("Reading the lexicon of " + m_opt.prmFile + "\n");
    loadDictionaries(m_prm, m_dict, m_names.view());
    textClass t;
    t.readTextNormMap(m_prm.tnmFile, '#');
    m_rules = t.m_textNormSp;
    m_sil = m_names.intern("sil");
    m_sp = m_names.intern("sp");
}

void trainer::prepareUtterances() {
    std::vector<corpusEntry> entries = readCorpus(m_opt.corpusFile);
    if (entries.empty())
        reportError(strFormat("The corpus %s holds no utterance (line %d of %s)", m_opt.corpusFile.c_str(), __LINE__,
                              kModule));
    std::set<std::string> held(m_opt.heldOutSpeakers.begin(), m_opt.heldOutSpeakers.end());
    const std::string& lang = m_prm.language;
    std::unique_ptr<Platform> platform = makePlatform();
    const CodePage page = lang == "chinese" ? CodePage::cp950 : CodePage::cp1252;
    StrVec normTexts;
    for (const corpusEntry& e : entries) {
        utterance u;
        u.entry = e;
        u.heldOut = !e.speaker.empty() && held.count(e.speaker) != 0;
        try {
            u.text = normalizeText(platform->toEngineText(e.transcript, page, "transcript"), m_rules, lang);
        } catch (const std::exception& ex) {
            u.skipReason = ex.what();
        }
        if (u.skipReason.empty()) {
            StrVec units;
            textUnits(u.text, lang, units);
            if (units.empty()) u.skipReason = "empty transcript";
            for (const std::string& w : units)
                if (u.skipReason.empty() && m_dict.wpaFind(w) < 0)
                    u.skipReason = "no pronunciation for \"" + w + "\"";
        }
        if (u.skipReason.empty() && !u.heldOut) normTexts.push_back(u.text);
        m_utts.push_back(std::move(u));
    }
    // English: the dictionary the engine builds from these texts ("p+next",
    // "p+sil" at word ends); Chinese: the pam.
    if (lang == "english" && !normTexts.empty()) m_dict.pronDictFromTexts(normTexts, m_names.view());
    for (utterance& u : m_utts) {
        if (!u.skipReason.empty() || u.heldOut) continue;
        textClass t;
        t.m_txtVsNormalized = {u.text};
        if (lang == "chinese")
            t.textsToSylChinese(m_dict.m_wpa);
        else
            t.textsToSylEnglish(m_dict.m_wpa);
        for (const std::string& path : t.m_sylVs) {
            if (static_cast<int>(u.variants.size()) >= m_opt.maxVariants) break;
            std::string units = path.substr(0, path.find('\t'));
            std::vector<std::vector<int32_t>> variant;
            for (const std::string& unit : strSplit(units, '-')) {
                int e = m_dict.pronDictFind(unit);
                if (e < 0) {
                    u.skipReason = "no pronunciation for unit \"" + unit + "\"";
                    break;
                }
                variant.push_back(m_dict.m_pronDict[e].models);
            }
            if (!u.skipReason.empty()) break;
            u.variants.push_back(std::move(variant));
        }
        if (u.skipReason.empty() && u.variants.empty()) u.skipReason = "no pronunciation";
    }
}

// What the cached features depend on: the feature configuration, useEpd,
// the corpus and the size and modification time of every audio file it names.
std::string trainer::runKey() const {
    uint64_t h = 1469598103934665603ull;
    for (const std::string& f : {m_prm.featureConfigFile, m_opt.corpusFile})
        h = fnv1a(h, fileExists(f) ? readFileBytes(f) : std::string());
    h = fnv1a(h, std::to_string(m_prm.useEpd));
    // Size and modification time of every recording: one recorded again
    // under the same name makes the features anew.
    for (const utterance& u : m_utts) {
        std::error_code ec;
        const auto changed = fs::last_write_time(u.entry.audio, ec);
        h = fnv1a(h, strFormat("%lld %lld", static_cast<long long>(fileExists(u.entry.audio) ? fileSize(u.entry.audio) : -1),
                               ec ? -1LL : static_cast<long long>(changed.time_since_epoch().count())));
    }
    return hex64(h);
}

// What a checkpoint depends on besides the features: the lexicon, the
// options and the recipe's settings. Not the mixtures: a resumed run may
// split a finished model further (checkpoint.txt keeps the mixture steps).
std::string trainer::checkpointKey() const {
    uint64_t h = 1469598103934665603ull;
    for (const std::string& f : {m_prm.wpaFile, m_prm.wpaAddendaFile, m_prm.tnmFile, m_prm.dicFile, m_prm.pyTableFile})
        h = fnv1a(h, !f.empty() && fileExists(f) ? readFileBytes(f) : f);
    h = fnv1a(h, strFormat("%s %d %u %s %d %d %d %d %g %g %d %d", m_prm.language.c_str(), m_prm.usePaddedHardSp,
                           m_opt.seed, strVecJoin(m_opt.heldOutSpeakers, ",").c_str(),
                           m_opt.monoIterations, m_opt.contextIterations, m_opt.mixtureIterations,
                           m_opt.minContextCount, m_opt.varianceFloor, m_opt.beam, m_opt.maxVariants,
                           m_opt.chunkSize));
    return runKey() + "-" + hex64(h);
}

void trainer::computeFeatures() {
    m_featurePath = m_opt.outDir + "/features.bin";
    const std::string indexPath = m_opt.outDir + "/features.idx";
    const std::string key = runKey();
    // The cache holds one line per corpus utterance: offset, frames, reason.
    if (fileExists(indexPath) && fileExists(m_featurePath)) {
        StrVec lines;
        readLines(indexPath, lines, 0);
        if (!lines.empty() && lines[0] == "key\t" + key && lines.size() == m_utts.size() + 1) {
            for (size_t i = 0; i < m_utts.size(); ++i) {
                StrVec f = strSplit(lines[i + 1], '\t');
                if (f.size() < 2) break;
                m_utts[i].featureOffset = std::stoll(f[0]);
                m_utts[i].frames = static_cast<int32_t>(std::stol(f[1]));
                if (f.size() >= 3 && m_utts[i].skipReason.empty()) m_utts[i].skipReason = f[2];
            }
            m_log->line("features: reusing " + m_featurePath);
            return;
        }
    }
    auto t0 = std::chrono::steady_clock::now();
    std::vector<size_t> todo;
    for (size_t i = 0; i < m_utts.size(); ++i)
        if (!m_utts[i].heldOut && m_utts[i].skipReason.empty()) todo.push_back(i);
    const std::string tmp = m_featurePath + ".tmp";
    FilePtr out = openFile(tmp, "wb");
    int64_t offset = 0;
    const size_t threads = static_cast<size_t>(std::max(1, m_opt.threads));
    stageProgress progress(m_opt.progress, "features", todo.size());
    for (size_t first = 0; first < todo.size(); first += threads) {
        progress.at(first);
        size_t last = std::min(todo.size(), first + threads);
        std::vector<FeatureMatrix> got(last - first);
        std::vector<std::string> failed(last - first);
        auto job = [&](size_t k) {
            ProgressScope engine(m_engineSink);
            utterance& u = m_utts[todo[first + k]];
            try {
                SampleArray wave = readAudioFile(u.entry.audio);
                got[k] = waveFeatures(wave, m_prm.featureConfigFile, m_prm.useEpd != 0, "");
                if (got[k].dim != kDim)
                    failed[k] = strFormat("features have %d values per frame, not %d", got[k].dim, kDim);
            } catch (const std::exception& e) {
                failed[k] = std::string("audio: ") + e.what();
            }
        };
        std::vector<std::thread> pool;
        for (size_t k = 0; k < last - first; ++k) pool.emplace_back(job, k);
        for (auto& t : pool) t.join();
        for (size_t k = 0; k < last - first; ++k) {
            utterance& u = m_utts[todo[first + k]];
            if (!failed[k].empty()) {
                u.skipReason = failed[k];
                continue;
            }
            u.featureOffset = offset;
            u.frames = got[k].frameNum;
            size_t bytes = got[k].values.size() * sizeof(float);
            if (bytes && std::fwrite(got[k].values.data(), 1, bytes, out.get()) != bytes)
                reportError(strFormat("Cannot write %s (line %d of %s)", tmp.c_str(), __LINE__, kModule));
            offset += static_cast<int64_t>(bytes);
        }
    }
    out.reset();
    StrVec lines{"key\t" + key};
    for (const utterance& u : m_utts) {
        std::string reason = u.skipReason;
        std::replace(reason.begin(), reason.end(), '\t', ' ');
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        lines.push_back(std::to_string(u.featureOffset) + "\t" + std::to_string(u.frames) +
                        (reason.empty() ? "" : "\t" + reason));
    }
    std::error_code ec;
    fs::rename(tmp, m_featurePath, ec);
    if (ec) reportError(strFormat("Cannot rename %s (line %d of %s)", tmp.c_str(), __LINE__, kModule));
    std::string idx;
    for (const std::string& l : lines) idx += l + "\n";
    writeFileAtomic(indexPath, idx);
    m_log->line(strFormat("features: %zu utterances in %.1f s, cached in %s", todo.size(), secondsSince(t0),
                          m_featurePath.c_str()));
}

void trainer::loadFeatures(std::ifstream& in, const utterance& u, std::vector<float>& buf) const {
    buf.resize(static_cast<size_t>(u.frames) * kDim);
    in.seekg(static_cast<std::streamoff>(u.featureOffset));
    in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size() * sizeof(float)));
    if (!in) reportError(strFormat("The feature cache %s is truncated (line %d of %s)", m_featurePath.c_str(), __LINE__, kModule));
}

void trainer::globalStatistics() {
    std::vector<double> sum(kDim, 0.0), sq(kDim, 0.0);
    double n = 0;
    std::ifstream in(m_featurePath, std::ios::binary);
    std::vector<float> buf;
    for (size_t i : trainingUtterances()) {
        loadFeatures(in, m_utts[i], buf);
        for (int t = 0; t < m_utts[i].frames; ++t)
            for (int d = 0; d < kDim; ++d) {
                double v = buf[static_cast<size_t>(t) * kDim + d];
                sum[d] += v;
                sq[d] += v * v;
            }
        n += m_utts[i].frames;
    }
    m_globalMean.assign(3, std::vector<float>(MAX_VECTOR_SIZE, 0.0f));
    m_globalVar = m_varFloor = m_globalMean;
    for (int d = 0; d < kDim; ++d) {
        double mean = sum[d] / n;
        double var = std::max(sq[d] / n - mean * mean, 1e-10);
        m_globalMean[d / 13][d % 13] = static_cast<float>(mean);
        m_globalVar[d / 13][d % 13] = static_cast<float>(var);
        m_varFloor[d / 13][d % 13] = static_cast<float>(var * m_opt.varianceFloor);
    }
}

compositeHmm trainer::composite(const utterance& u, int variant) const {
    compositeHmm h;
    auto phys = [&](int32_t id) { return m_physOf.at(id); };
    h.add(phys(m_sil));
    const auto& units = u.variants[variant];
    for (size_t k = 0; k < units.size(); ++k) {
        if (k > 0) h.add(phys(m_sp), m_prm.usePaddedHardSp != 1);
        for (int32_t id : units[k]) h.add(phys(id));
    }
    h.add(phys(m_sil));
    return h;
}

void trainer::chooseModels() {
    // Too short recordings, and the names the kept transcripts use.
    for (utterance& u : m_utts) {
        if (u.heldOut || !u.skipReason.empty()) continue;
        int need = 1 << 30;
        for (size_t v = 0; v < u.variants.size(); ++v) {
            compositeHmm h;
            h.add(0);
            for (size_t k = 0; k < u.variants[v].size(); ++k) {
                if (k > 0) h.add(0, m_prm.usePaddedHardSp != 1);
                for (size_t i = 0; i < u.variants[v][k].size(); ++i) h.add(0);
            }
            h.add(0);
            need = std::min(need, h.minFrames());
        }
        if (u.frames < need) u.skipReason = strFormat("too short: %d frames for a model sequence of %d", u.frames, need);
    }
    std::vector<size_t> train = trainingUtterances();
    if (train.empty())
        reportError(strFormat("No utterance of %s is left to train on; train.log in %s names the reasons (line %d of %s)",
                              m_opt.corpusFile.c_str(), m_opt.outDir.c_str(), __LINE__, kModule));
    std::set<int32_t> used{m_sil, m_sp};
    for (size_t i : train) {
        for (const auto& unit : m_utts[i].variants[0])
            for (int32_t id : unit) m_nameCount[id]++;
        for (const auto& v : m_utts[i].variants)
            for (const auto& unit : v)
                for (int32_t id : unit) used.insert(id);
        if (m_utts[i].variants[0].size() > 1) m_nameCount[m_sp]++;
        m_nameCount[m_sil] += 2;
    }
    for (int32_t id : used) {
        const std::string& n = m_names.name(id);
        if (n == "filler" || n == "fillerC" || n == "fillerV")
            reportError(strFormat("The transcripts use the reserved model \"%s\" (line %d of %s)", n.c_str(), __LINE__,
                                  kModule));
        m_written.push_back(id);
    }
    // A base phone, sil or sp that no kept utterance uses cannot be trained.
    std::set<std::string> withData;
    for (int32_t id : used) withData.insert(centrePhone(m_names.name(id)));
    if (m_nameCount[m_sp] == 0) withData.erase("sp");
    for (int32_t id : m_written) {
        std::string c = centrePhone(m_names.name(id));
        if (!withData.count(c))
            reportError(strFormat("The model \"%s\" has no training data: no kept utterance uses it (line %d of %s)",
                                  c.c_str(), __LINE__, kModule));
    }
}

// The trained set of a phase: context-free phones (mono), or every well
// seen right context on its own with the thin contexts of a centre phone
// tied to one model ("p+*"); sil, sp, fillerC and fillerV throughout.
void trainer::buildPhysical(phase kind) {
    std::map<std::string, std::string> source;  // physical name -> model of the previous set to start from
    std::map<int32_t, std::string> physName;
    for (int32_t id : m_written) {
        const std::string& n = m_names.name(id);
        std::string c = centrePhone(n);
        std::string p;
        if (kind == phase::mono || n.find('+') == std::string::npos)
            p = c;
        else
            p = m_nameCount[id] >= m_opt.minContextCount ? n : c + "+*";
        physName[id] = p;
        source[p] = c;
    }
    source["fillerC"] = "fillerC";
    source["fillerV"] = "fillerV";
    macroClass next;
    next.m_streamNum = 3;
    for (int s = 0; s < 3; ++s) next.m_streamWidth[s] = 13;
    next.m_header = "<VECSIZE> 39 <NULLD><MFCC_E_D_A><DIAGC>";
    std::map<std::string, int32_t> index;
    for (const auto& [p, src] : source) {
        HmmModel m;
        auto it = m_physIndex.find(src);
        if (it != m_physIndex.end())
            m = m_phys.m_models[it->second];
        else
            m = flatModel(src, 3, m_globalMean, m_globalVar);
        std::memset(m.name, 0, sizeof m.name);
        std::snprintf(m.name, sizeof m.name, "%s", p.c_str());
        index[p] = static_cast<int32_t>(next.m_models.size());
        next.m_models.push_back(m);
    }
    next.m_modelNum = static_cast<int32_t>(next.m_models.size());
    m_phys = std::move(next);
    m_physIndex = index;
    m_physOf.clear();
    for (const auto& [id, p] : physName) m_physOf[id] = index.at(p);
    m_pooling.poolOf.assign(m_phys.m_modelNum, -1);
    for (const auto& [p, i] : index) {
        if (p == "sil" || p == "sp" || p == "fillerC" || p == "fillerV") continue;
        m_pooling.poolOf[i] = isVowelPhone(centrePhone(p)) ? index.at("fillerV") : index.at("fillerC");
    }
}

// A phone that only alternative pronunciations use may get no frame at all
// (the first pronunciation always wins where the models cannot tell them
// apart). A model left at the flat start would take any sound at decoding
// time, so such pronunciations are dropped and their models not written.
// A phone without data that some utterance cannot do without is an error.
void trainer::dropPhonesWithoutData() {
    if (m_noData.empty()) return;
    auto lacks = [&](const std::vector<std::vector<int32_t>>& variant) {
        for (const auto& unit : variant)
            for (int32_t id : unit)
                if (m_noData.count(centrePhone(m_names.name(id)))) return true;
        return false;
    };
    for (utterance& u : m_utts) {
        if (u.heldOut || !u.skipReason.empty()) continue;
        std::vector<std::vector<std::vector<int32_t>>> kept;
        for (auto& v : u.variants)
            if (!lacks(v)) kept.push_back(std::move(v));
        if (kept.empty())
            reportError(strFormat("The model \"%s\" has no training data: line %d of the corpus needs it (line %d of %s)",
                                  strVecJoin(StrVec(m_noData.begin(), m_noData.end()), ",").c_str(), u.entry.line,
                                  __LINE__, kModule));
        u.variants = std::move(kept);
    }
    std::vector<int32_t> written;
    for (int32_t id : m_written)
        if (!m_noData.count(centrePhone(m_names.name(id)))) written.push_back(id);
    m_written = written;
    m_log->line("no data for " + strVecJoin(StrVec(m_noData.begin(), m_noData.end()), ", ") +
                ": only alternative pronunciations use it; they are dropped and its models not written");
}

int trainer::chooseVariant(const macroClass& conv, const utterance& u, const std::vector<float>& fea) const {
    if (u.variants.size() < 2) return 0;
    int best = 0;
    double bestLl = -1e300;
    for (size_t v = 0; v < u.variants.size(); ++v) {
        alignmentResult r = forcedAlign(conv, composite(u, static_cast<int>(v)), fea.data(), u.frames, kDim);
        if (r.logLikelihood > bestLl) {
            bestLl = r.logLikelihood;
            best = static_cast<int>(v);
        }
    }
    return best;
}

void trainer::iterate(size_t stepIndex, const stepInfo& step, int steps) {
    auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    macroClass conv = convertedForLikelihood(m_phys);
    std::vector<size_t> train = trainingUtterances();
    int maxMix = 1;
    for (const HmmModel& m : m_phys.m_models)
        for (int st = 0; st < 3; ++st)
            for (int s = 0; s < 3; ++s) maxMix = std::max(maxMix, m.states[st].streams[s].mixtureNum());
    bwAccumulators total(m_phys.m_modelNum, 3, maxMix);
    const int threads = std::max(1, m_opt.threads);
    std::vector<bwAccumulators> part(threads, total);
    std::vector<std::unique_ptr<std::ifstream>> inputs;
    for (int k = 0; k < threads; ++k) inputs.push_back(std::make_unique<std::ifstream>(m_featurePath, std::ios::binary));
    bwAccumulators& merged = total;
    inChunks(
        train,
        [&](size_t slot, const std::vector<size_t>& items) {
            bwAccumulators& acc = part[slot];
            acc.clear();
            std::vector<float> fea;
            for (size_t i : items) {
                const utterance& u = m_utts[i];
                loadFeatures(*inputs[slot], u, fea);
                int v = chooseVariant(conv, u, fea);
                accumulateUtterance(conv, composite(u, v), fea.data(), u.frames, kDim, m_opt.beam, m_pooling, acc);
            }
        },
        // Blocks are added in block order, whatever the thread count.
        [&](size_t slots) {
            for (size_t k = 0; k < slots; ++k) total.add(part[k]);
        },
        strFormat("step %zu/%d: utterances", stepIndex + 1, steps));
    reestimate(m_phys, merged, m_varFloor, m_pooling);
    m_lastOccupation.assign(m_phys.m_modelNum, 0.0);
    for (int m = 0; m < m_phys.m_modelNum; ++m) m_lastOccupation[m] = merged.modelOccupation(m);
    double ll = merged.frames > 0 ? merged.logLikelihood / merged.frames : 0;
    double took = secondsSince(t0);
    double processor = static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC;
    double elapsed = secondsSince(m_start);
    double left = took * (steps - static_cast<int>(stepIndex) - 1);
    m_log->line(strFormat("step %zu/%d: %s models, iteration %d/%d, %d mixtures, %d models: avg log-likelihood per "
                          "frame %.4f over %.0f frames of %.0f utterances (%.0f lost to the beam); %.1f s (%.1f s processor), "
                          "%.1f s so far, about %.0f s left",
                          stepIndex + 1, steps, phaseName(step.kind), step.iteration, step.iterations, step.mixtures,
                          m_phys.m_modelNum, ll, merged.frames, merged.utterances, merged.failed, took, processor, elapsed, left));
    std::string occ = "frames per model:";
    for (int m = 0; m < m_phys.m_modelNum; ++m)
        occ += strFormat(" %s=%.1f", m_phys.m_models[m].name, merged.modelOccupation(m));
    m_log->detail(occ);
}


void trainer::run() {
    m_start = std::chrono::steady_clock::now();
    ProgressScope engine(m_engineSink);
    checkOptions();
    prepareLexicon();
    prepareUtterances();
    std::error_code ec;
    fs::create_directories(m_opt.outDir, ec);
    if (ec || !fs::is_directory(m_opt.outDir))
        reportError(strFormat("Cannot create the folder %s (line %d of %s)", m_opt.outDir.c_str(), __LINE__, kModule));
    // Finished outputs of an earlier run go first: a failing run leaves
    // nothing that looks complete.
    for (const char* name : {"models.macb", "models.mac", "models.cnt", "cm.txt"})
        fs::remove(m_opt.outDir + "/" + name, ec);
    const std::string checkpointModels = m_opt.outDir + "/checkpoint.macb";
    const std::string checkpointState = m_opt.outDir + "/checkpoint.txt";
    if (!m_opt.resume) {
        fs::remove(checkpointModels, ec);
        fs::remove(checkpointState, ec);
    }
    m_log = std::make_unique<trainLog>(m_opt.outDir + "/train.log", m_opt.resume, m_opt.progress);
    m_engine->open(m_opt.outDir + "/engine.log", m_opt.resume);
    m_log->line(strFormat("kedo train: prm %s, corpus %s (%zu utterances), mixtures %d, threads %d, seed %u%s",
                          m_opt.prmFile.c_str(), m_opt.corpusFile.c_str(), m_utts.size(), m_opt.mixtures,
                          m_opt.threads, m_opt.seed, m_opt.resume ? ", resumed" : ""));
    computeFeatures();
    chooseModels();
    int skipped = 0, heldOut = 0;
    for (const utterance& u : m_utts) {
        if (u.heldOut) {
            heldOut++;
            continue;
        }
        if (u.skipReason.empty()) continue;
        skipped++;
        m_log->detail(strFormat("skipped: line %d (%s): %s", u.entry.line, u.entry.audio.c_str(), u.skipReason.c_str()));
    }
    std::vector<size_t> train = trainingUtterances();
    double frames = 0;
    for (size_t i : train) frames += m_utts[i].frames;
    m_log->line(strFormat("utterances: %zu to train on (%.0f frames, %.2f hours), %d skipped, %d held out",
                          train.size(), frames, frames / 360000.0, skipped, heldOut));
    globalStatistics();

    std::vector<int> ladder = mixtureLadder({}, m_opt.mixtures);
    std::vector<stepInfo> steps = planSteps(m_opt, ladder);
    size_t first = 0;
    const std::string key = checkpointKey();
    if (m_opt.resume && fileExists(checkpointState) && fileExists(checkpointModels)) {
        StrVec lines;
        readLines(checkpointState, lines, 0);
        if (lines.size() < 2 || lines[1] != "key " + key)
            reportError(strFormat("The checkpoint in %s belongs to another corpus or other options; run without "
                                  "--resume to start over (line %d of %s)",
                                  m_opt.outDir.c_str(), __LINE__, kModule));
        // The mixture steps of the run that wrote the checkpoint, carried on
        // to --mixtures: a finished 4-mixture run goes on to 8 by splitting.
        if (lines.size() >= 4 && lines[3].rfind("mixtures", 0) == 0) {
            std::vector<int> before;
            std::string list = lines[3].substr(8);
            strTrim(list);
            for (const std::string& m : strSplit(list, ','))
                if (!m.empty()) {
                    const int n = parseLeadingInt(m);
                    if (n < 2 || n > MAX_MIXTURE_NUM || (!before.empty() && n <= before.back()))
                        reportError(strFormat("The checkpoint %s is damaged (line %d of %s)",
                                              checkpointState.c_str(), __LINE__, kModule));
                    before.push_back(n);
                }
            const int reached = before.empty() ? 1 : before.back();
            if (reached > m_opt.mixtures)
                reportError(strFormat("The checkpoint in %s is of a run to %d mixtures; --resume can raise "
                                      "--mixtures, not lower it to %d (line %d of %s)",
                                      m_opt.outDir.c_str(), reached, m_opt.mixtures, __LINE__, kModule));
            ladder = mixtureLadder(before, m_opt.mixtures);
            steps = planSteps(m_opt, ladder);
        }
        size_t done = static_cast<size_t>(parseLeadingInt(lines[0].substr(lines[0].find(' ') + 1)));
        if (done < 1 || done > steps.size())
            reportError(strFormat("The checkpoint %s is damaged (line %d of %s)", checkpointState.c_str(), __LINE__,
                                  kModule));
        // Rebuild the name map of the phase the checkpoint is in, then take
        // its models.
        buildPhysical(phase::mono);
        if (lines.size() >= 3 && lines[2].size() > 7)
            for (const std::string& n : strSplit(lines[2].substr(7), ',')) m_noData.insert(n);
        if (steps[done - 1].kind != phase::mono) {
            dropPhonesWithoutData();
            buildPhysical(phase::context);
        }
        macroClass saved;
        saved.readModels(checkpointModels, false);
        if (saved.m_modelNum != m_phys.m_modelNum)
            reportError(strFormat("The checkpoint %s does not fit the corpus (line %d of %s)", checkpointModels.c_str(),
                                  __LINE__, kModule));
        // The binary image holds no header line; the text file needs it.
        saved.m_header = m_phys.m_header;
        m_phys = saved;
        first = done;
        m_log->line(strFormat("resumed after step %zu of %zu", done, steps.size()));
    } else {
        buildPhysical(phase::mono);
    }
    const int stepCount = static_cast<int>(steps.size());
    for (size_t k = first; k < steps.size(); ++k) {
        const stepInfo& step = steps[k];
        if (step.firstOfPhase && step.kind == phase::context) {
            dropPhonesWithoutData();
            buildPhysical(phase::context);
        }
        if (step.firstOfPhase && step.kind == phase::mixture) {
            std::vector<int32_t> all;
            for (int m = 0; m < m_phys.m_modelNum; ++m) all.push_back(m);
            splitMixtures(m_phys, all, step.mixtures);
        }
        iterate(k, step, stepCount);
        // The phones the context-free stage gave no frame, decided once and
        // kept with the checkpoint.
        if (step.kind == phase::mono && (k + 1 == steps.size() || steps[k + 1].kind != phase::mono))
            for (const auto& [name, i] : m_physIndex)
                if (name != "fillerC" && name != "fillerV" && m_lastOccupation[i] < 1.0) m_noData.insert(name);
        writeFileAtomic(checkpointModels, m_phys.binaryImage());
        std::vector<std::string> noData(m_noData.begin(), m_noData.end());
        writeFileAtomic(checkpointState,
                        strFormat("step %zu\nkey %s\nnodata %s\nmixtures %s\n", k + 1, key.c_str(),
                                  strVecJoin(noData, ",").c_str(), ladderText(ladder).c_str()));
        if (m_opt.stopAfterSteps > 0 && static_cast<int>(k + 1) >= m_opt.stopAfterSteps) {
            m_log->line(strFormat("stopped after step %zu; --resume continues", k + 1));
            return;
        }
    }
    finish();
}

// The written set: every model the transcripts use, spelled out in full
// from its trained model, plus fillerC and fillerV; then the final
// alignment's counts, the files, and the confidence parameters.
void trainer::finish() {
    auto t0 = std::chrono::steady_clock::now();
    // The engine resolves every model of a pam when it reads it; one
    // without "+" that the set lacks stops every later run.
    if (!m_dict.m_pronDict.empty() && m_prm.language == "chinese") {
        std::set<std::string> written, missing;
        for (int32_t id : m_written) written.insert(m_names.name(id));
        for (const pronDictEntry& e : m_dict.m_pronDict)
            for (int32_t id : e.models) {
                const std::string& n = m_names.name(id);
                if (!written.count(n) && n.find('+') == std::string::npos && n != "filler" && n != "fillerC" &&
                    n != "fillerV")
                    missing.insert(n);
            }
        if (!missing.empty())
            m_log->line("warning: no kept utterance trains these models of the pam " + m_prm.dicFile +
                        ", which the engine needs to read it: " + strVecJoin(StrVec(missing.begin(), missing.end()), " "));
    }

    macroClass conv = convertedForLikelihood(m_phys);
    std::vector<size_t> train = trainingUtterances();
    const int threads = std::max(1, m_opt.threads);
    std::vector<std::map<int32_t, std::pair<double, double>>> part(threads);  // name id -> count, frames
    std::map<int32_t, std::pair<double, double>> counts;
    std::vector<std::unique_ptr<std::ifstream>> inputs;
    for (int k = 0; k < threads; ++k) inputs.push_back(std::make_unique<std::ifstream>(m_featurePath, std::ios::binary));
    inChunks(
        train,
        [&](size_t slot, const std::vector<size_t>& items) {
            auto& c = part[slot];
            c.clear();
            std::vector<float> fea;
            for (size_t i : items) {
                const utterance& u = m_utts[i];
                loadFeatures(*inputs[slot], u, fea);
                int v = chooseVariant(conv, u, fea);
                alignmentResult r = forcedAlign(conv, composite(u, v), fea.data(), u.frames, kDim);
                if (r.segments.empty()) continue;
                // Segment k of the composite back to its name id.
                std::vector<int32_t> ids{m_sil};
                for (size_t w = 0; w < u.variants[v].size(); ++w) {
                    if (w > 0) ids.push_back(m_sp);
                    for (int32_t id : u.variants[v][w]) ids.push_back(id);
                }
                ids.push_back(m_sil);
                for (size_t k = 0; k < r.segments.size(); ++k) {
                    auto& e = c[ids[r.segments[k]]];
                    e.first += 1;
                    e.second += r.lastFrame[k] - r.firstFrame[k] + 1;
                }
            }
        },
        [&](size_t slots) {
            for (size_t k = 0; k < slots; ++k)
                for (const auto& [id, v] : part[k]) {
                    counts[id].first += v.first;
                    counts[id].second += v.second;
                }
        },
        "final alignment: utterances");

    macroClass written;
    written.m_streamNum = m_phys.m_streamNum;
    for (int s = 0; s < 3; ++s) written.m_streamWidth[s] = m_phys.m_streamWidth[s];
    written.m_header = m_phys.m_header;
    std::map<std::string, std::pair<double, double>> byName;
    for (int32_t id : m_written) {
        HmmModel m = m_phys.m_models[m_physOf.at(id)];
        std::memset(m.name, 0, sizeof m.name);
        std::snprintf(m.name, sizeof m.name, "%s", m_names.name(id).c_str());
        written.m_models.push_back(m);
        byName[m_names.name(id)] = counts[id];
    }
    // Right contexts that no utterance holds, written on request as copies
    // of their centre phone's tied model.
    for (const std::string& extra : m_opt.tiedCopies) {
        auto it = m_physIndex.find(centrePhone(extra) + "+*");
        if (byName.count(extra) || it == m_physIndex.end()) continue;
        HmmModel m = m_phys.m_models[it->second];
        std::memset(m.name, 0, sizeof m.name);
        std::snprintf(m.name, sizeof m.name, "%s", extra.c_str());
        written.m_models.push_back(m);
        byName[extra] = {0.0, 0.0};
    }
    for (const char* f : {"fillerC", "fillerV"}) {
        written.m_models.push_back(m_phys.m_models[m_physIndex.at(f)]);
        double fr = 0;
        for (const auto& [id, v] : counts)
            if (id != m_sil && id != m_sp && isVowelPhone(centrePhone(m_names.name(id))) == (f[6] == 'V'))
                fr += v.second;
        byName[f] = {0.0, fr};
    }
    written.m_modelNum = static_cast<int32_t>(written.m_models.size());
    written.sortModels();
    computeGconsts(written);
    const std::string dir = m_opt.outDir;
    writeFileAtomic(dir + "/models.macb", written.binaryImage());
    writeFileAtomic(dir + "/models.mac", written.textImage());
    std::string cnt;
    std::vector<double> frames;
    for (const HmmModel& m : written.m_models) {
        auto c = byName[m.name];
        cnt += strFormat("%s\t%.0f\n", m.name, c.first);
        frames.push_back(c.second);
    }
    writeFileAtomic(dir + "/models.cnt", cnt);
    m_log->line(strFormat("final alignment and model files: %d models in %.1f s", written.m_modelNum,
                          secondsSince(t0)));
    StrVec cm;
    fitConfidence(written, frames, cm);
    std::string cmText;
    for (const std::string& l : cm) cmText += l + "\n";
    writeFileAtomic(dir + "/cm.txt", cmText);
    m_log->line(strFormat("done in %.1f s: models.macb, models.mac, models.cnt, cm.txt in %s", secondsSince(m_start),
                          dir.c_str()));
}

// Per model, the bell over the rank ratios that the engine's own confidence
// measure gives the held-out utterances' phones: centred on 0, the engine's
// slope 0.5, and a width at which nine phones in ten of held-out speech
// score at least 50. Models with fewer than 3 held-out phones take the width
// of all held-out phones; with none at all, the engine's default width.
void trainer::fitConfidence(const macroClass& written, const std::vector<double>& frames, StrVec& cmLines) {
    std::map<std::string, std::vector<float>> ratios;
    std::vector<float> all;
    int assessed = 0;
    // The assessment that ranks the phones reads the scoring files.
    std::string missing;
    for (const std::string* f : {&m_prm.qiYinFile, &m_prm.phoneRank2scoreParamFile, &m_prm.scoreDiscountParamFile})
        if (missing.empty() && (f->empty() || !fileExists(*f))) missing = f->empty() ? "(none)" : *f;
    size_t heldOut = 0, done = 0;
    for (const utterance& u : m_utts) heldOut += u.heldOut && u.skipReason.empty() ? 1 : 0;
    if (heldOut > 0 && !missing.empty())
        m_log->line("confidence: held-out utterances not assessed: the parameter file lacks a scoring file "
                    "(qiYinFile, phoneRank2scoreParamFile, scoreDiscountParamFile): " + missing);
    stageProgress progress(m_opt.progress, "confidence: held-out utterances", heldOut);
    for (const utterance& u : m_utts) {
        if (!u.heldOut || !u.skipReason.empty() || !missing.empty()) continue;
        progress.at(done++);
        recogParam q = m_prm;
        q.function = "assess";
        q.macFile = m_opt.outDir + "/models.macb";
        q.modelCountFile = m_opt.outDir + "/models.cnt";
        q.cmParamFile.clear();
        q.outputDir.clear();
        q.netFile.clear();
        q.sylFile.clear();
        q.getPitch = 0;
        q.useWaveReject = 0;
        q.wavFile = u.entry.audio;
        q.txtFile = u.text;
        mlfClass mlf;
        try {
            recogWaveFile(q, mlf);
        } catch (const std::exception& e) {
            m_log->detail(strFormat("held out: line %d (%s) not assessed: %s", u.entry.line, u.entry.audio.c_str(),
                                    e.what()));
            continue;
        }
        assessed++;
        for (const mlfNode& n : mlf.nodes)
            for (const mlfPhone& p : n.phones)
                if (p.rank >= 0 && p.rankRatio >= 0) {
                    ratios[p.name].push_back(p.rankRatio);
                    all.push_back(p.rankRatio);
                }
    }
    auto width = [](std::vector<float> v) {
        std::sort(v.begin(), v.end());
        float q = v[std::min(v.size() - 1, static_cast<size_t>(0.9 * static_cast<double>(v.size())))];
        return std::max(q, 0.01f);
    };
    const float pooled = all.empty() ? 0.05f : width(all);
    m_log->line(strFormat("confidence: %d held-out utterances assessed, %zu phones; pooled width %g", assessed,
                          all.size(), pooled));
    cmLines.push_back("% model\tindex\tframes\theld-out phones\t-\tbell [a b c] of the rank ratio");
    for (int m = 0; m < written.m_modelNum; ++m) {
        const std::string name = written.m_models[m].name;
        auto it = ratios.find(name);
        size_t n = it == ratios.end() ? 0 : it->second.size();
        float a = n >= 3 ? width(it->second) : pooled;
        cmLines.push_back(strFormat("%s\t%d\t%.0f\t%zu\t0\t[%g 0.5 0]", name.c_str(), m, frames[m], n, a));
    }
}

}  // namespace

std::vector<corpusEntry> readCorpus(const std::string& path) {
    { FilePtr f = openFile(path, "rb"); }  // the engine's message for a missing file
    std::string bytes = readFileBytes(path);
    fs::path base = fs::path(path).parent_path();
    std::vector<corpusEntry> out;
    size_t pos = 0;
    int lineNo = 0;
    while (pos < bytes.size()) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        lineNo++;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (lineNo == 1 && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        std::string probe = line;
        strTrim(probe);
        if (probe.empty() || probe[0] == '#') continue;
        StrVec f = strSplit(line, '\t');
        if (f.size() < 2 || f.size() > 3 || f[0].empty())
            reportError(strFormat("Line %d of the corpus %s needs an audio path, a TAB and a transcript, optionally a "
                                  "TAB and a speaker (line %d of %s)",
                                  lineNo, path.c_str(), __LINE__, kModule));
        corpusEntry e;
        fs::path audio(f[0]);
        e.audio = audio.is_absolute() || base.empty() ? f[0] : (base / audio).generic_string();
        e.transcript = f[1];
        strTrim(e.transcript);
        if (f.size() == 3) {
            e.speaker = f[2];
            strTrim(e.speaker);
        }
        e.line = lineNo;
        out.push_back(std::move(e));
    }
    return out;
}

std::string centrePhone(const std::string& name) {
    std::string c = name.substr(0, name.find('+'));
    size_t dash = c.find('-');
    if (dash != std::string::npos) c = c.substr(dash + 1);
    return c;
}

bool isVowelPhone(const std::string& phone) {
    if (phone.empty()) return false;
    return std::strchr("aeiouv", phone[0]) != nullptr;
}

void trainModels(const trainOptions& options) {
    trainer t(options);
    t.run();
}

}  // namespace kedo
