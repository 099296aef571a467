// The text macro file (".mac"): reader and writer.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "acoustic/macro.h"
#include "util/progress.h"
#include "acoustic/macro_io.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "macro";

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// Counts the lines that begin with "~h". Lines are taken in pieces of at most
// MAX_LINE_LEN characters, so a piece that continues a long line counts when
// it begins with "~h".
int countModelLines(std::string_view text) {
    int count = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        for (size_t p = pos; p < end; p += MAX_LINE_LEN)
            if (text[p] == '~' && p + 1 < end && text[p + 1] == 'h') ++count;
        pos = end + 1;
    }
    return count;
}

// Whitespace-separated tokens with one token of read-ahead, and the fatal
// errors of the text form.
class TokenReader {
public:
    TokenReader(std::string_view text, const std::string& path) : text_(text), path_(path) {}

    int modelId = -1;

    // A fixed message of the file format; the line before it names the file.
    [[noreturn]] void fatal(const std::string& message) const {
        std::fprintf(stderr, "Error in reading \"%s\"\n", path_.c_str());
        reportError(message);
    }
    [[noreturn]] void fail(const std::string& what, int line) const {
        std::string where = modelId >= 0 ? strFormat(" in model %d", modelId) : std::string(" in the header");
        reportError(strFormat("Error in reading \"%s\": %s%s (line %d of %s)", path_.c_str(), what.c_str(),
                              where.c_str(), line, kModule));
    }

    std::string_view next() {
        if (hasPending_) {
            hasPending_ = false;
            return pending_;
        }
        while (pos_ < text_.size() && isSpace(text_[pos_])) ++pos_;
        if (pos_ >= text_.size()) fail("the file ends early", __LINE__);
        size_t start = pos_;
        while (pos_ < text_.size() && !isSpace(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }
    void putBack(std::string_view tok) {
        pending_ = tok;
        hasPending_ = true;
    }
    // The rest of the current line, without surrounding white space.
    std::string_view restOfLine() {
        size_t end = text_.find('\n', pos_);
        if (end == std::string_view::npos) end = text_.size();
        std::string_view rest = text_.substr(pos_, end - pos_);
        pos_ = end;
        while (!rest.empty() && isSpace(rest.front())) rest.remove_prefix(1);
        while (!rest.empty() && isSpace(rest.back())) rest.remove_suffix(1);
        return rest;
    }

    int nextInt() {
        std::string_view tok = next();
        std::string_view digits = tok;
        if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
        int v = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
        if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty())
            fail(strFormat("expected an integer, found \"%.*s\"", static_cast<int>(tok.size()), tok.data()), __LINE__);
        return v;
    }
    float nextFloat() {
        std::string_view tok = next();
        std::string_view num = tok;
        if (!num.empty() && num.front() == '+') num.remove_prefix(1);
        float v = 0.0f;
        auto [end, ec] = std::from_chars(num.data(), num.data() + num.size(), v);
        if (ec == std::errc::result_out_of_range && end == num.data() + num.size()) {
            // Beyond float range: saturate or flush the way strtof does.
            v = std::strtof(std::string(num).c_str(), nullptr);
        } else if (ec != std::errc() || end != num.data() + num.size() || num.empty()) {
            fail(strFormat("expected a number, found \"%.*s\"", static_cast<int>(tok.size()), tok.data()), __LINE__);
        }
        return v;
    }

private:
    std::string_view text_;
    const std::string& path_;
    size_t pos_ = 0;
    std::string_view pending_;
    bool hasPending_ = false;
};

void readMixture(TokenReader& in, MixtureRec& mix, int width, int mixtureNum) {
    if (mixtureNum >= 2) {
        in.next();  // <MIXTURE>
        in.nextInt();
        mix.weight = in.nextFloat();
    } else {
        mix.weight = 1.0f;
    }
    std::string_view tok = in.next();
    std::string_view lenTok = in.next();
    if (tok == "<RCLASS>") {
        tok = in.next();
        lenTok = in.next();
    }
    if (tok != "<MEAN>") in.fatal(strFormat("Error: Cannot find \"<MEAN>\" (line %d of %s)", 296, kModule));
    int len = parseLeadingInt(std::string(lenTok));
    if (len != MAX_VECTOR_SIZE)
        in.fatal(strFormat("Error: MAX_PARAM_NUM = %d != %d! (line %d of %s)", MAX_VECTOR_SIZE, len, 299, kModule));
    for (int k = 0; k < width; ++k) mix.mean[k] = in.nextFloat();

    tok = in.next();
    len = parseLeadingInt(std::string(in.next()));
    if (len != MAX_VECTOR_SIZE)
        in.fatal(strFormat("Error: MAX_PARAM_NUM = %d != %d! (line %d of %s)", MAX_VECTOR_SIZE, len, 305, kModule));
    if (tok != "<VARIANCE>") in.fatal(strFormat("Cannot find \"<VARIANCE>\" (line %d of %s)", 308, kModule));
    for (int k = 0; k < width; ++k) mix.variance[k] = in.nextFloat();

    tok = in.next();
    if (tok == "<GCONST>")
        mix.gconst = in.nextFloat();
    else
        in.putBack(tok);
}

void readModel(TokenReader& in, HmmModel& m, int modelId, int streamNum, const int32_t* widths,
               const std::string& path) {
    in.modelId = modelId;
    in.next();  // ~h
    std::string_view name = in.next();
    if (name.size() >= 2 && name.front() == '"' && name.back() == '"') name = name.substr(1, name.size() - 2);
    if (name.size() > static_cast<size_t>(MAX_MODEL_NAME_LEN))
        in.fail(strFormat("the model name \"%s\" is longer than %d characters", std::string(name).c_str(), MAX_MODEL_NAME_LEN),
                __LINE__);
    std::memcpy(m.name, name.data(), name.size());
    m.name[name.size()] = '\0';

    std::string_view tok = in.next();
    if (tok != "<BEGINHMM>")
        in.fatal(strFormat("modelId=%d, str1=%s, Cannot find \"<BEGINHMM>\" (line %d of %s)", modelId,
                           std::string(tok).c_str(), 194, kModule));
    in.next();  // <NUMSTATES>
    m.numStates = in.nextInt();
    macro_io::checkNumStates(m.numStates, modelId, path);

    for (int j = 0; j < m.numStates - 2; ++j) {
        StateRec& state = m.states[j];
        const int stateId = j + 2;
        in.next();  // <STATE>
        in.nextInt();
        int mixtureNum[MAX_STREAM_NUM] = {1, 1, 1};
        tok = in.next();
        if (tok == "<NUMMIXES>") {
            for (int s = 0; s < streamNum; ++s) {
                mixtureNum[s] = in.nextInt();
                if (mixtureNum[s] > MAX_MIXTURE_NUM)
                    in.fatal(strFormat("Error: mixtureNum=%d exceeds MAX_MIXTURE_NUM=%d (line %d of %s)", mixtureNum[s],
                                       MAX_MIXTURE_NUM, 214, kModule));
                if (mixtureNum[s] < 0)
                    in.fail(strFormat("the mixture count %d of state %d is negative", mixtureNum[s], stateId), __LINE__);
            }
            tok = in.next();
            if (tok != "<SWEIGHTS>")
                in.fail(strFormat("\"<SWEIGHTS>\" must follow the mixture counts of state %d, found \"%s\"", stateId,
                                  std::string(tok).c_str()),
                        __LINE__);
            in.nextInt();
        } else if (tok == "<SWEIGHTS>") {
            in.nextInt();
        } else {
            in.fatal(strFormat("ERROR: fail to read <NUMMIXES> or <SWEIGHTS> at modelId = %d, stateId = %d (line %d of %s)",
                               modelId, stateId, 223, kModule));
        }
        for (int s = 0; s < streamNum; ++s) state.streamWeight[s] = in.nextFloat();

        for (int s = 0; s < streamNum; ++s) {
            if (streamNum >= 2) {
                tok = in.next();
                int number = parseLeadingInt(std::string(in.next()));
                if (tok != "<STREAM>") {
                    progressf("modelId=%d (%s), stateId=%d\n", modelId, m.name, stateId);
                    in.fatal(strFormat("str1=%s, temp=%d, Cannot find \"<STREAM>\" (line %d of %s)", std::string(tok).c_str(),
                                       number, 248, kModule));
                }
            }
            StreamRec& st = state.streams[s];
            st.mixtures.resize(static_cast<size_t>(mixtureNum[s]));
            for (MixtureRec& mix : st.mixtures) readMixture(in, mix, widths[s], mixtureNum[s]);
        }
    }

    tok = in.next();
    if (tok != "<TRANSP>") in.fatal(strFormat("Error: Cannot find \"<TRANSP>\" (line %d of %s)", 345, kModule));
    in.nextInt();
    for (int i = 0; i < m.numStates; ++i)
        for (int k = 0; k < m.numStates; ++k) m.transP[i][k] = in.nextFloat();
    tok = in.next();
    if (tok != "<ENDHMM>")
        in.fatal(strFormat("Error: Not reading <ENDHMM>, modelId=%d (line %d of %s)", modelId, 362, kModule));
}

// Shortest text that reads back to the same float.
void appendFloat(std::string& out, float v) {
    char buf[32];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    (void)ec;
    out.push_back(' ');
    out.append(buf, end);
}

}  // namespace

void macroClass::parseTextModels(std::string_view bytes, const std::string& path) {
    std::string_view text(bytes);
    const int count = countModelLines(text);
    TokenReader in(text, path);
    in.next();  // the global options macro, e.g. ~o
    in.next();  // <STREAMINFO>
    int streamNum = in.nextInt();
    macro_io::checkStreamNum(streamNum, path);
    int32_t widths[MAX_STREAM_NUM] = {0, 0, 0};
    for (int s = 0; s < streamNum; ++s) {
        widths[s] = in.nextInt();
        macro_io::checkStreamWidth(widths[s], path);
    }
    std::string header(in.next());
    std::string_view rest = in.restOfLine();
    if (!rest.empty()) {
        header += ' ';
        header.append(rest);
    }
    if (header.size() > static_cast<size_t>(MAX_MACRO_HEADER_LEN)) header.resize(MAX_MACRO_HEADER_LEN);

    // Every model needs far more than 64 bytes of text; the bound keeps a
    // file full of "~h" lines from reserving memory it cannot fill.
    std::vector<HmmModel> models;
    models.reserve(std::min<size_t>(static_cast<size_t>(count), bytes.size() / 64 + 1));
    for (int id = 0; id < count; ++id) {
        models.emplace_back();
        readModel(in, models.back(), id, streamNum, widths, path);
    }
    m_models = std::move(models);
    m_modelNum = count;
    m_streamNum = streamNum;
    std::copy(widths, widths + MAX_STREAM_NUM, m_streamWidth);
    m_header = std::move(header);
    m_converted = false;
    m_sorted = false;
    m_packedStreams.clear();
    m_pool.clear();
}

std::string macroClass::textImage() const {
    std::string out;
    out.reserve(m_models.size() * 4096 + 256);
    out += "~o\n<STREAMINFO> " + std::to_string(m_streamNum);
    int vecSize = 0;
    for (int s = 0; s < m_streamNum; ++s) {
        out += ' ' + std::to_string(m_streamWidth[s]);
        vecSize += m_streamWidth[s];
    }
    out += '\n';
    out += m_header.empty() ? "<VECSIZE> " + std::to_string(vecSize) : m_header;
    out += '\n';
    for (const HmmModel& src : m_models) {
        const HmmModel m = macro_io::fileForm(src, m_streamNum, m_converted);
        out += "~h \"";
        out += m.name;
        out += "\"\n<BEGINHMM>\n<NUMSTATES> " + std::to_string(m.numStates) + "\n";
        for (int j = 0; j < m.numStates - 2; ++j) {
            const StateRec& state = m.states[j];
            out += "<STATE> " + std::to_string(j + 2) + "\n<NUMMIXES>";
            for (int s = 0; s < m_streamNum; ++s) out += ' ' + std::to_string(state.streams[s].mixtureNum());
            out += "\n<SWEIGHTS> " + std::to_string(m_streamNum) + "\n";
            for (int s = 0; s < m_streamNum; ++s) appendFloat(out, state.streamWeight[s]);
            out += '\n';
            for (int s = 0; s < m_streamNum; ++s) {
                const StreamRec& st = state.streams[s];
                if (m_streamNum >= 2) out += "<STREAM> " + std::to_string(s + 1) + "\n";
                for (int k = 0; k < st.mixtureNum(); ++k) {
                    const MixtureRec& mix = st.mixtures[k];
                    if (st.mixtureNum() >= 2) {
                        out += "<MIXTURE> " + std::to_string(k + 1);
                        appendFloat(out, mix.weight);
                        out += '\n';
                    }
                    out += "<MEAN> " + std::to_string(MAX_VECTOR_SIZE) + "\n";
                    for (int d = 0; d < m_streamWidth[s]; ++d) appendFloat(out, mix.mean[d]);
                    out += "\n<VARIANCE> " + std::to_string(MAX_VECTOR_SIZE) + "\n";
                    for (int d = 0; d < m_streamWidth[s]; ++d) appendFloat(out, mix.variance[d]);
                    out += "\n<GCONST>";
                    appendFloat(out, mix.gconst);
                    out += '\n';
                }
            }
        }
        out += "<TRANSP> " + std::to_string(m.numStates) + "\n";
        for (int i = 0; i < m.numStates; ++i) {
            for (int k = 0; k < m.numStates; ++k) appendFloat(out, m.transP[i][k]);
            out += '\n';
        }
        out += "<ENDHMM>\n";
    }
    return out;
}

}  // namespace kedo
