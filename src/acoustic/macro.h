// The acoustic model set: continuous-density HMMs read from a macro file
// (text ".mac" or binary ".macb"), sorted by name, looked up by name with a
// substitute fallback for missing triphones, and the state likelihoods the
// search asks for every frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "util/limits.h"
#include "util/str_util.h"

namespace kedo {

// Natural log of 0 in the models and the search.
inline constexpr float LZERO = -1e10f;
// Mixtures whose (converted) log weight is at or below this are skipped.
inline constexpr float MIN_LOG_MIXTURE_WEIGHT = -11.5f;

// One Gaussian of a mixture. Before conversion: weight, means, variances and
// gconst as in the file. After conversion: log weight (LZERO for weight 0)
// and inverse variances.
struct MixtureRec {
    float weight;
    float mean[MAX_VECTOR_SIZE];
    float variance[MAX_VECTOR_SIZE];
    float gconst;
};
static_assert(sizeof(MixtureRec) == 112, "mixture record is 28 floats");

// A stream holds just the mixtures it has (0..MAX_MIXTURE_NUM), so a model
// takes the memory of its own mixtures and records move cheaply.
struct StreamRec {
    std::vector<MixtureRec> mixtures;
    int32_t mixtureNum() const { return static_cast<int32_t>(mixtures.size()); }
};

struct StateRec {
    float streamWeight[MAX_STREAM_NUM];  // read and written, not used by the likelihood
    StreamRec streams[MAX_STREAM_NUM];
};

// One model. States 0 and numStates-1 are the non-emitting
// entry and exit states; states[j] is emitting state j+1 (0-based j among the
// emitting states). transP[i][k] is from state i to state k; only the
// numStates x numStates corner is used. After conversion it holds natural
// logs (LZERO for 0).
struct HmmModel {
    char name[MAX_MODEL_NAME_LEN + 1];
    float logCount;  // ln(count) from the model count file; 0 when absent
    int32_t numStates;
    StateRec states[MAX_EMITTING_STATE_NUM];
    float transP[MAX_STATE_NUM][MAX_STATE_NUM];
};

// Where one (model, emitting state, stream) sits in the likelihood tables:
// the active mixtures (log weight above MIN_LOG_MIXTURE_WEIGHT) in file order,
// laid out as `padded` lanes per row: row 0 log weights, row 1 gconsts, rows
// 2.. the means of each vector element, then the inverse variances.
struct PackedStream {
    uint32_t offset = 0;  // in floats, into the table pool (16-byte aligned)
    int32_t active = 0;   // active mixtures
    int32_t padded = 0;   // active rounded up to a multiple of 4
    int32_t mixtureNum = 0;  // the stream's mixture count (0: the stream yields LZERO)
};

class macroClass {
public:
    int32_t m_modelNum = 0;
    int32_t m_streamNum = 0;
    int32_t m_streamWidth[MAX_STREAM_NUM] = {0, 0, 0};
    std::string m_header;  // the vector-size line of a text file, at most MAX_MACRO_HEADER_LEN chars
    std::vector<HmmModel> m_models;  // m_modelNum records

    // Reads a ".mac"/".MAC" (text) or ".macb"/".MACB" (binary) file, replacing
    // the set. With sortAndConvert (the pipeline always sets it) the set is
    // then sorted by name and converted for the likelihood computation.
    void readModels(const std::string& path, bool sortAndConvert);
    void readTextModels(const std::string& path);
    void readBinaryModels(const std::string& path);
    // Parses a text or binary image already in memory; path only names the
    // source in messages.
    // With convert the binary reader converts each record as it reads it,
    // and the set is marked converted (call buildLikelihoodTables next).
    void parseTextModels(std::string_view bytes, const std::string& path);
    void parseBinaryModels(std::string_view bytes, const std::string& path, bool convert = false);

    // Writes the set in the form its extension names (as readModels chooses).
    // Both forms hold the values before conversion: a converted set is
    // written back in file form (exp of the logs, inverse of the inverses).
    // The text form cannot hold a single mixture's weight (it reads as 1).
    void writeModels(const std::string& path) const;
    void writeTextModels(const std::string& path) const;
    void writeBinaryModels(const std::string& path) const;
    std::string textImage() const;
    std::string binaryImage() const;

    // Stable ascending sort by name, byte-wise (models of equal name keep
    // their file order).
    void sortModels();
    // Logs of weights and transitions, inverse variances, then the likelihood
    // tables. Does nothing on a set that is already converted.
    void convertModels();
    bool converted() const { return m_converted; }
    // Rebuilds the likelihood tables from the converted records; call it
    // after changing converted records by hand.
    void buildLikelihoodTables();

    // Sets every logCount to 0, then applies the model count file (line i =
    // model i, "name<TAB>count") if it exists.
    void readModelCount(const std::string& path);

    // Index of the model of that name, else of its substitute; -1 for the
    // special names without a substitute. Needs a sorted set.
    int findModel(const std::string& name) const;
    int findSubstituteModel(const std::string& name) const;
    // Every model's name, in set order.
    void modelNameList(StrVec& out) const;
    // A listing of the set: "modelNum=N", "streamNum=S (widths)", then one
    // line per model "index<TAB>name<TAB>numStates=N<TAB>mixtures=a,b,c ..."
    // (mixture counts per stream, states blank-separated), with
    // "<TAB>logCount=%g" appended when withCounts is set.
    StrVec summaryLines(bool withCounts) const;

    // Bytes the set holds in memory (records and likelihood tables).
    size_t memoryBytes() const;

    // The likelihood tables (built by convertModels).
    bool hasLikelihoodTables() const { return !m_packedStreams.empty(); }
    const PackedStream& packedStream(int model, int state, int stream) const {
        return m_packedStreams[(static_cast<size_t>(model) * MAX_EMITTING_STATE_NUM + state) * MAX_STREAM_NUM + stream];
    }
    const float* tablePool() const { return m_pool.data(); }
    // The first (model * 3 + state) whose emitting state is the same as this
    // one's, value for value (tied states copied into several models): states
    // with the same id have the same likelihoods. Built with the tables.
    int32_t stateId(int model, int state) const {
        return m_stateIds[static_cast<size_t>(model) * MAX_EMITTING_STATE_NUM + state];
    }

private:
    // Fills m_stateIds from (key, state slot) pairs; sorts them.
    void findSharedStates(std::vector<std::pair<uint64_t, int32_t>>& keyed);

    bool m_converted = false;
    bool m_sorted = false;
    // Every float of the pool is written when the tables are built, so it
    // is not zero-filled first.
    template <class T>
    struct NoFillAllocator : std::allocator<T> {
        template <class U>
        struct rebind {
            using other = NoFillAllocator<U>;
        };
        NoFillAllocator() = default;
        template <class U>
        NoFillAllocator(const NoFillAllocator<U>&) {}
        template <class U>
        void construct(U* p) {
            ::new (static_cast<void*>(p)) U;
        }
        template <class U, class... Args>
        void construct(U* p, Args&&... args) {
            ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
        }
    };
    std::vector<PackedStream> m_packedStreams;
    std::vector<float, NoFillAllocator<float>> m_pool;
    std::vector<int32_t> m_stateIds;
};

// ---- state likelihood (needs a converted set) ----

// Log density of one Gaussian (its log weight not included):
// -0.5 * (gconst + sum_k (x_k - mean_k)^2 * invVar_k), summed in index order.
// x is a whole feature row; stream s reads x[s*13 .. s*13+12]. Indices are
// not checked.
float mixtureLogDensity(const float* x, const macroClass& set, int model, int state, int stream, int mixture);
// Log-add over the stream's mixtures above the weight cut; LZERO for a stream
// without mixtures.
float streamLogLikelihood(const float* x, const macroClass& set, int model, int state, int stream);
// Sum over the streams, without cache. Uses eight-lane AVX2 code when the
// processor has it, else four lanes; both give the same bits.
float stateLogLikelihood(const float* x, const macroClass& set, int model, int state);
// The two kernels on their own, for tests and benchmarks. The AVX2 one may be
// called only when likelihoodAvx2Available().
bool likelihoodAvx2Available();
float stateLogLikelihoodPortable(const float* x, const macroClass& set, int model, int state);
float stateLogLikelihoodAvx2(const float* x, const macroClass& set, int model, int state);
// One state likelihood asked of a batch: feature row, model, emitting state.
struct stateQuery {
    const float* x;
    int32_t model;
    int32_t state;
};
// stateLogLikelihood of each query into out[k], bit for bit, several states'
// work in flight at once where the processor allows (on the AVX2 path).
// Queries need not be distinct; their order does not change any value.
void stateLogLikelihoods(const macroClass& set, const stateQuery* queries, size_t count, float* out);
void stateLogLikelihoodsPortable(const macroClass& set, const stateQuery* queries, size_t count, float* out);
void stateLogLikelihoodsAvx2(const macroClass& set, const stateQuery* queries, size_t count, float* out);
// The thresholded log-add: a + ln(1 + e^(b-a)) for the larger a, the larger
// alone when they differ by more than 23.0259 (LZERO when it is below -5e9).
float logAdd(float x, float y);

// One-entry cache per model and emitting state: the frame index last
// computed and its value. Owned by the search object.
class likelihoodCacheClass {
public:
    // Sizes the cache for a model count and empties it.
    void resize(int modelNum);
    // Marks every entry empty (start of a search).
    void clear();
    // The state's log likelihood for feature row x, which is row frame of the
    // utterance: served from the cache when (model, state) was last computed
    // for the same frame.
    float stateLogLikelihood(const float* x, const macroClass& set, int model, int state, int frame) {
        Entry& e = m_entries[static_cast<size_t>(model) * MAX_EMITTING_STATE_NUM + state];
        if (e.frame == frame) return e.value;
        e.value = kedo::stateLogLikelihood(x, set, model, state);
        e.frame = frame;
        return e.value;
    }

private:
    struct Entry {
        int32_t frame;
        float value;
    };
    std::vector<Entry> m_entries;
};

}  // namespace kedo
