// The model set: reader choice, sorting, conversion, model counts, lookup.
#include "acoustic/macro.h"
#include "util/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numeric>
#include <string_view>
#include <unordered_map>

#include "util/file_util.h"
#include "util/report_error.h"
#include "util/unit_names.h"
#include "util/portable_math.h"

namespace kedo {

namespace {
constexpr const char* kModule = "macro";

std::string_view nameOf(const HmmModel& m) { return std::string_view(m.name); }

bool isTextExtension(const std::string& ext) { return ext == "mac" || ext == "MAC"; }
bool isBinaryExtension(const std::string& ext) { return ext == "macb" || ext == "MACB"; }

[[noreturn]] void badExtension(const std::string& path) {
    reportError(strFormat("Error in reading \"%s\": The only allowed extension are \"mac\" and \"macb\" (line %d of %s) \n",
                          path.c_str(), 762, kModule));
}

float logOrZero(float v) { return v != 0.0f ? pm::log(v) : LZERO; }
}  // namespace

namespace {
// The whole file in one read when its size is known (model files run to
// tens of megabytes), into memory that is not zero-filled first.
class FileImage {
public:
    explicit FileImage(const std::string& path) {
        size_ = readFileInto(path, [this](size_t n) { return room(n); });
    }
    std::string_view view() const { return std::string_view(data_.get(), size_); }

private:
    // Room for n bytes, keeping those of the last request (which hold
    // whatever has been read).
    char* room(size_t n) {
        if (n > capacity_) {
            const size_t capacity = std::max(2 * capacity_, n);
            std::unique_ptr<char[]> bigger(new char[capacity]);
            if (asked_ > 0) std::memcpy(bigger.get(), data_.get(), std::min(asked_, capacity_));
            data_ = std::move(bigger);
            capacity_ = capacity;
        }
        asked_ = n;
        return data_.get();
    }
    std::unique_ptr<char[]> data_;
    size_t size_ = 0;
    size_t capacity_ = 0;
    size_t asked_ = 0;
};
}  // namespace

void macroClass::readModels(const std::string& path, bool sortAndConvert) {
    std::string ext = fileExtension(path);
    if (isBinaryExtension(ext))
        parseBinaryModels(FileImage(path).view(), path, sortAndConvert);  // converted as it is read
    else if (isTextExtension(ext))
        readTextModels(path);
    else
        badExtension(path);
    if (sortAndConvert) {
        sortModels();
        if (m_converted)
            buildLikelihoodTables();
        else
            convertModels();
    }
}

void macroClass::readTextModels(const std::string& path) { parseTextModels(FileImage(path).view(), path); }
void macroClass::readBinaryModels(const std::string& path) { parseBinaryModels(FileImage(path).view(), path); }

void macroClass::writeModels(const std::string& path) const {
    std::string ext = fileExtension(path);
    if (isBinaryExtension(ext))
        writeBinaryModels(path);
    else if (isTextExtension(ext))
        writeTextModels(path);
    else
        reportError(strFormat("Error in writing \"%s\": the name must end in \".mac\" (text) or \".macb\" (binary), "
                              "or their capitals (line %d of %s)",
                              path.c_str(), 84, kModule));
}

namespace {
void writeImage(const std::string& path, const std::string& image) {
    FilePtr f = openFile(path, "wb");
    if (std::fwrite(image.data(), 1, image.size(), f.get()) != image.size() || std::fflush(f.get()) != 0)
        reportError(strFormat("Error in writing \"%s\" (line %d of %s)", path.c_str(), 91, kModule));
}
}  // namespace

void macroClass::writeTextModels(const std::string& path) const { writeImage(path, textImage()); }
void macroClass::writeBinaryModels(const std::string& path) const { writeImage(path, binaryImage()); }

void macroClass::sortModels() {
    const size_t n = m_models.size();
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return nameOf(m_models[a]) < nameOf(m_models[b]); });
    // Records hold their mixtures by reference, so moving them into a new
    // list in sorted order is cheap.
    std::vector<HmmModel> sorted;
    sorted.reserve(n);
    for (uint32_t i : order) sorted.push_back(std::move(m_models[i]));
    m_models = std::move(sorted);
    m_sorted = true;
    if (hasLikelihoodTables()) buildLikelihoodTables();
}

namespace macro_io {
void convertRecord(HmmModel& m, int streamNum) {
    for (int j = 0; j < m.numStates - 2; ++j) {
        for (int s = 0; s < streamNum; ++s) {
            StreamRec& st = m.states[j].streams[s];
            for (MixtureRec& mix : st.mixtures) {
                for (float& v : mix.variance) {
                    // Without branches, so that the loop runs on vectors.
                    const float inv = 1.0f / (v < 1e-30f ? 1e-30f : v);
                    v = inv < 1e-30f ? 1e-30f : inv;
                }
                mix.weight = logOrZero(mix.weight);
            }
        }
    }
    for (int i = 0; i < m.numStates; ++i)
        for (int k = 0; k < m.numStates; ++k) m.transP[i][k] = logOrZero(m.transP[i][k]);
}
}  // namespace macro_io

void macroClass::convertModels() {
    if (m_converted) return;
    for (HmmModel& m : m_models) macro_io::convertRecord(m, m_streamNum);
    m_converted = true;
    buildLikelihoodTables();
}

void macroClass::buildLikelihoodTables() {
    constexpr int W = MAX_VECTOR_SIZE;
    constexpr int rows = 2 + 2 * W;
    m_packedStreams.assign(m_models.size() * MAX_EMITTING_STATE_NUM * MAX_STREAM_NUM, PackedStream{});
    // Room for every mixture (the cut ones are left out, so the pool may end
    // shorter), then one pass over the records while they are fresh in the
    // cache: the active mixtures lane by lane, and each state's key for
    // findSharedStates.
    size_t room = 0;
    for (const HmmModel& m : m_models)
        for (int j = 0; j < m.numStates - 2; ++j)
            for (int s = 0; s < m_streamNum; ++s)
                room += static_cast<size_t>((m.states[j].streams[s].mixtureNum() + 3) & ~3) * rows;
    m_pool.clear();
    m_pool.resize(room);
    std::vector<std::pair<uint64_t, int32_t>> keyed;
    keyed.reserve(m_models.size() * MAX_EMITTING_STATE_NUM);
    size_t total = 0;
    for (size_t i = 0; i < m_models.size(); ++i) {
        const HmmModel& m = m_models[i];
        for (int j = 0; j < m.numStates - 2; ++j) {
            // Candidates for tied states share a key made of the streams'
            // shapes and their first table rows (log weights, gconsts, first
            // means).
            uint64_t key = 1469598103934665603ULL;
            auto mixIn = [&key](uint64_t v) { key = (key ^ v) * 1099511628211ULL; };
            for (int s = 0; s < m_streamNum; ++s) {
                const StreamRec& st = m.states[j].streams[s];
                PackedStream& ps = m_packedStreams[(i * MAX_EMITTING_STATE_NUM + j) * MAX_STREAM_NUM + s];
                ps.mixtureNum = st.mixtureNum();
                for (const MixtureRec& mix : st.mixtures)
                    if (mix.weight > MIN_LOG_MIXTURE_WEIGHT) ++ps.active;
                ps.padded = (ps.active + 3) & ~3;
                ps.offset = static_cast<uint32_t>(total);
                total += static_cast<size_t>(ps.padded) * rows;
                float* base = m_pool.data() + ps.offset;
                const int P = ps.padded;
                for (int lane = ps.active; lane < P; ++lane) {
                    base[lane] = LZERO;
                    for (int row = 1; row < rows; ++row) base[row * P + lane] = 0.0f;
                }
                int lane = 0;
                for (const MixtureRec& mix : st.mixtures) {
                    if (!(mix.weight > MIN_LOG_MIXTURE_WEIGHT)) continue;
                    base[lane] = mix.weight;
                    base[P + lane] = mix.gconst;
                    for (int d = 0; d < W; ++d) {
                        base[(2 + d) * P + lane] = mix.mean[d];
                        base[(2 + W + d) * P + lane] = mix.variance[d];
                    }
                    ++lane;
                }
                mixIn(static_cast<uint64_t>(ps.mixtureNum) << 32 | static_cast<uint32_t>(ps.active));
                for (int k = 0; k < 3 * P; ++k) {
                    uint32_t bits;
                    std::memcpy(&bits, base + k, 4);
                    mixIn(bits);
                }
            }
            keyed.emplace_back(key, static_cast<int32_t>(i * MAX_EMITTING_STATE_NUM + j));
        }
    }
    m_pool.resize(total);
    findSharedStates(keyed);
}

void macroClass::findSharedStates(std::vector<std::pair<uint64_t, int32_t>>& keyed) {
    constexpr size_t rows = 2 + 2 * MAX_VECTOR_SIZE;
    const size_t slots = m_models.size() * MAX_EMITTING_STATE_NUM;
    m_stateIds.resize(slots);
    for (size_t i = 0; i < slots; ++i) m_stateIds[i] = static_cast<int32_t>(i);
    // Only states of the same key are compared in full. Sorted by key, then
    // id: each state is compared with the earlier ones of its key that
    // matched none before them, in id order, and takes the first equal one.
    std::sort(keyed.begin(), keyed.end());
    std::vector<int32_t> same;
    for (size_t run = 0; run < keyed.size();) {
        size_t end = run + 1;
        while (end < keyed.size() && keyed[end].first == keyed[run].first) ++end;
        same.clear();
        for (size_t r = run; r < end; ++r) {
            const int32_t id = keyed[r].second;
            const PackedStream* ps = &m_packedStreams[static_cast<size_t>(id) * MAX_STREAM_NUM];
            for (int32_t other : same) {
                const PackedStream* po = &m_packedStreams[static_cast<size_t>(other) * MAX_STREAM_NUM];
                bool equal = true;
                for (int s = 0; s < m_streamNum && equal; ++s)
                    equal = po[s].mixtureNum == ps[s].mixtureNum && po[s].active == ps[s].active &&
                            (ps[s].padded == 0 ||
                             std::memcmp(m_pool.data() + po[s].offset, m_pool.data() + ps[s].offset,
                                         sizeof(float) * rows * static_cast<size_t>(ps[s].padded)) == 0);
                if (equal) {
                    m_stateIds[id] = other;
                    break;
                }
            }
            if (m_stateIds[id] == id) same.push_back(id);
        }
        run = end;
    }
}

void macroClass::readModelCount(const std::string& path) {
    for (HmmModel& m : m_models) m.logCount = 0.0f;
    if (!fileExists(path)) return;
    std::string bytes = readFileBytes(path);
    size_t pos = 0;
    for (int i = 0; i < m_modelNum && pos < bytes.size(); ++i) {
        size_t end = bytes.find('\n', pos);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t tab = line.find('\t');
        std::string_view name = std::string_view(line).substr(0, tab);
        double count = tab == std::string::npos ? 0.0 : std::strtod(line.c_str() + tab + 1, nullptr);
        if (name != nameOf(m_models[i])) progressf("Warning: Mismatched model count file! (line %d of %s)\n", 41, kModule);
        if (count > 0.0) m_models[i].logCount = static_cast<float>(pm::log(count));
    }
}

int macroClass::findModel(const std::string& name) const {
    auto it = std::lower_bound(m_models.begin(), m_models.end(), std::string_view(name),
                               [](const HmmModel& m, std::string_view key) { return nameOf(m) < key; });
    if (it != m_models.end() && nameOf(*it) == name) return static_cast<int>(it - m_models.begin());
    return findSubstituteModel(name);
}

int macroClass::findSubstituteModel(const std::string& name) const {
    if (isNonSpeechUnit(name)) return -1;
    size_t plus = name.find('+');
    if (plus == std::string::npos)
        reportError(strFormat("Error in macroClass::findSubstituteModel(): Cannot find '+' sign, modelStr=%s (line %d of %s) \n",
                              name.c_str(), 794, kModule));
    auto firstWithPrefix = [&](std::string_view prefix) -> int {
        if (m_sorted) {
            auto it = std::lower_bound(m_models.begin(), m_models.end(), prefix,
                                       [](const HmmModel& m, std::string_view key) { return nameOf(m) < key; });
            if (it != m_models.end() && nameOf(*it).substr(0, prefix.size()) == prefix)
                return static_cast<int>(it - m_models.begin());
            return -1;
        }
        for (size_t i = 0; i < m_models.size(); ++i)
            if (nameOf(m_models[i]).substr(0, prefix.size()) == prefix) return static_cast<int>(i);
        return -1;
    };
    std::string head = name.substr(0, plus + 1);
    int found = firstWithPrefix(head + "sil");
    if (found < 0) found = firstWithPrefix(head);
    if (found < 0) found = m_models.empty() ? -1 : 0;
    return found;
}

size_t macroClass::memoryBytes() const {
    size_t mixtures = 0;
    for (const HmmModel& m : m_models)
        for (const StateRec& state : m.states)
            for (const StreamRec& st : state.streams) mixtures += st.mixtures.capacity();
    return sizeof(*this) + m_header.capacity() + m_models.capacity() * sizeof(HmmModel) + mixtures * sizeof(MixtureRec) +
           m_packedStreams.capacity() * sizeof(PackedStream) + m_pool.capacity() * sizeof(float);
}

void macroClass::modelNameList(StrVec& out) const {
    out.clear();
    out.reserve(m_models.size());
    for (const HmmModel& m : m_models) out.emplace_back(m.name);
}

StrVec macroClass::summaryLines(bool withCounts) const {
    StrVec out;
    out.reserve(m_models.size() + 2);
    out.push_back(strFormat("modelNum=%d", m_modelNum));
    std::string streams = strFormat("streamNum=%d (", m_streamNum);
    for (int s = 0; s < m_streamNum; ++s) streams += strFormat(s ? " %d" : "%d", m_streamWidth[s]);
    out.push_back(streams + ")");
    for (size_t i = 0; i < m_models.size(); ++i) {
        const HmmModel& m = m_models[i];
        std::string line = strFormat("%zu\t%s\tnumStates=%d\tmixtures=", i, m.name, m.numStates);
        for (int j = 0; j < m.numStates - 2; ++j) {
            if (j) line += ' ';
            for (int s = 0; s < m_streamNum; ++s)
                line += strFormat(s ? ",%d" : "%d", m.states[j].streams[s].mixtureNum());
        }
        if (withCounts) line += strFormat("\tlogCount=%g", static_cast<double>(m.logCount));
        out.push_back(std::move(line));
    }
    return out;
}

}  // namespace kedo
