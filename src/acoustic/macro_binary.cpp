// The binary macro file (".macb"): reader, writer, and the checks both forms share.
#include <cmath>
#include <cstring>

#include "acoustic/macro.h"
#include "acoustic/macro_io.h"
#include "util/report_error.h"
#include "util/portable_math.h"

namespace kedo {

namespace {
constexpr const char* kModule = "macro";
constexpr size_t kNameBytes = MAX_MODEL_NAME_LEN + 1;
constexpr size_t kMixtureBytes = sizeof(MixtureRec);

static_assert(sizeof(float) == 4 && sizeof(int32_t) == 4, "the binary form holds 32-bit values");

// Little-endian values from a byte image, every read bounds-checked.
class ByteReader {
public:
    ByteReader(std::string_view bytes, const std::string& path) : bytes_(bytes), path_(path) {}

    int modelId = -1;

    [[noreturn]] void fail(const std::string& what, int line) const {
        std::string where = modelId >= 0 ? strFormat(" in model %d", modelId) : std::string(" in the header");
        reportError(strFormat("Error in reading \"%s\": %s%s (line %d of %s)", path_.c_str(), what.c_str(),
                              where.c_str(), line, kModule));
    }
    void copy(void* dest, size_t n) {
        if (n > bytes_.size() - pos_) fail("the file ends early", 32);
        if (n > 0) std::memcpy(dest, bytes_.data() + pos_, n);  // an empty stream has no storage
        pos_ += n;
    }
    int32_t i32() {
        int32_t v;
        copy(&v, sizeof v);
        return v;
    }
    size_t remaining() const { return bytes_.size() - pos_; }

private:
    std::string_view bytes_;
    const std::string& path_;
    size_t pos_ = 0;
};

void appendBytes(std::string& out, const void* p, size_t n) {
    if (n > 0) out.append(static_cast<const char*>(p), n);
}
void appendI32(std::string& out, int32_t v) { appendBytes(out, &v, sizeof v); }

}  // namespace

namespace macro_io {

HmmModel fileForm(const HmmModel& src, int streamNum, bool converted) {
    HmmModel m = src;
    if (!converted) return m;
    for (int j = 0; j < m.numStates - 2; ++j) {
        for (int s = 0; s < streamNum; ++s) {
            StreamRec& st = m.states[j].streams[s];
            for (MixtureRec& mix : st.mixtures) {
                // The inverse of the conversion, value by value.
                mix.weight = pm::exp(mix.weight);
                for (float& v : mix.variance) v = 1.0f / v;
            }
        }
    }
    for (int i = 0; i < m.numStates; ++i)
        for (int k = 0; k < m.numStates; ++k) m.transP[i][k] = pm::exp(m.transP[i][k]);
    return m;
}

void checkStreamNum(int streamNum, const std::string& path) {
    if (streamNum < 1 || streamNum > MAX_STREAM_NUM)
        reportError(strFormat("Error in reading \"%s\": the stream count %d is outside 1..%d (line %d of %s)",
                              path.c_str(), streamNum, MAX_STREAM_NUM, 77, kModule));
}

void checkStreamWidth(int width, const std::string& path) {
    if (width != MAX_VECTOR_SIZE)
        reportError(strFormat("Error in reading \"%s\": the stream width %d is not %d (line %d of %s)", path.c_str(),
                              width, MAX_VECTOR_SIZE, 83, kModule));
}

void checkNumStates(int numStates, int modelId, const std::string& path) {
    if (numStates < MIN_STATE_NUM || numStates > MAX_STATE_NUM)
        reportError(strFormat("Error in reading \"%s\": numStates=%d of model %d is outside %d..%d (line %d of %s)",
                              path.c_str(), numStates, modelId, MIN_STATE_NUM, MAX_STATE_NUM, 89, kModule));
}

}  // namespace macro_io

void macroClass::parseBinaryModels(std::string_view bytes, const std::string& path, bool convert) {
    ByteReader in(bytes, path);
    const int32_t count = in.i32();
    const int32_t streamNum = in.i32();
    if (count < 0) in.fail(strFormat("the model count %d is negative", count), 98);
    macro_io::checkStreamNum(streamNum, path);
    int32_t widths[MAX_STREAM_NUM] = {0, 0, 0};
    for (int s = 0; s < streamNum; ++s) {
        widths[s] = in.i32();
        macro_io::checkStreamWidth(widths[s], path);
    }
    // The smallest model: name, state count, one emitting state whose streams
    // have no mixtures, 3 x 3 transitions. A count the file cannot hold is
    // refused before anything is allocated for it.
    const size_t minModelBytes = kNameBytes + 4 + static_cast<size_t>(streamNum) * 8 + 9 * 4;
    if (static_cast<size_t>(count) > in.remaining() / minModelBytes)
        in.fail(strFormat("the file announces %d models but holds at most %zu", count, in.remaining() / minModelBytes),
                111);

    std::vector<HmmModel> models(static_cast<size_t>(count));
    for (int id = 0; id < count; ++id) {
        HmmModel& m = models[id];
        in.modelId = id;
        in.copy(m.name, kNameBytes);
        if (std::memchr(m.name, '\0', kNameBytes) == nullptr)
            in.fail(strFormat("the name is not ended within %zu bytes", kNameBytes), 119);
        m.numStates = in.i32();
        macro_io::checkNumStates(m.numStates, id, path);
        for (int j = 0; j < m.numStates - 2; ++j) {
            StateRec& state = m.states[j];
            in.copy(state.streamWeight, sizeof(float) * streamNum);
            for (int s = 0; s < streamNum; ++s) {
                StreamRec& st = state.streams[s];
                const int32_t mixtureNum = in.i32();
                if (mixtureNum < 0 || mixtureNum > MAX_MIXTURE_NUM)
                    in.fail(strFormat("the mixture count %d of state %d, stream %d is outside 0..%d", mixtureNum,
                                      j + 2, s + 1, MAX_MIXTURE_NUM),
                            131);
                st.mixtures.resize(static_cast<size_t>(mixtureNum));
                in.copy(st.mixtures.data(), kMixtureBytes * mixtureNum);
            }
        }
        for (int i = 0; i < m.numStates; ++i) in.copy(m.transP[i], sizeof(float) * m.numStates);
        if (convert) macro_io::convertRecord(m, streamNum);
    }
    m_models = std::move(models);
    m_modelNum = count;
    m_streamNum = streamNum;
    std::copy(widths, widths + MAX_STREAM_NUM, m_streamWidth);
    m_header.clear();
    m_converted = convert;
    m_sorted = false;
    m_packedStreams.clear();
    m_pool.clear();
}

std::string macroClass::binaryImage() const {
    std::string out;
    out.reserve(16 + m_models.size() * 8192);
    appendI32(out, static_cast<int32_t>(m_models.size()));
    appendI32(out, m_streamNum);
    for (int s = 0; s < m_streamNum; ++s) appendI32(out, m_streamWidth[s]);
    for (const HmmModel& src : m_models) {
        const HmmModel m = macro_io::fileForm(src, m_streamNum, m_converted);
        char name[kNameBytes] = {};
        std::memcpy(name, m.name, strnlen(m.name, kNameBytes - 1));
        appendBytes(out, name, kNameBytes);
        appendI32(out, m.numStates);
        for (int j = 0; j < m.numStates - 2; ++j) {
            const StateRec& state = m.states[j];
            appendBytes(out, state.streamWeight, sizeof(float) * m_streamNum);
            for (int s = 0; s < m_streamNum; ++s) {
                const StreamRec& st = state.streams[s];
                appendI32(out, st.mixtureNum());
                appendBytes(out, st.mixtures.data(), kMixtureBytes * st.mixtures.size());
            }
        }
        for (int i = 0; i < m.numStates; ++i) appendBytes(out, m.transP[i], sizeof(float) * m.numStates);
    }
    return out;
}

}  // namespace kedo
