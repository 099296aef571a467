// Net files: the text reader (the single definition of a net), the binary
// reader, both writers, next-word-node lists and node penalties.
#include "net/net.h"

#include <algorithm>
#include <cstring>

#include "lexicon/dict.h"
#include "util/file_util.h"
#include "util/report_error.h"

namespace kedo {

namespace {
constexpr const char* kModule = "net";

// Longest excerpt of an offending line quoted in a message.
constexpr size_t kQuoteLen = 120;

std::string quote(const std::string& line) {
    return line.size() <= kQuoteLen ? line : line.substr(0, kQuoteLen) + "...";
}

// A small scanner with the semantics of the scanf formats the net lines are
// defined by: "%d" skips leading white space, a blank in the format matches
// any run of white space (also none), other characters match themselves.
class Scanner {
public:
    explicit Scanner(const std::string& s) : p_(s.c_str()), end_(s.c_str() + s.size()) {}

    void skipSpace() {
        while (p_ < end_ && isSpace(*p_)) ++p_;
    }
    bool literal(const char* text) {
        size_t n = std::strlen(text);
        if (static_cast<size_t>(end_ - p_) < n || std::memcmp(p_, text, n) != 0) return false;
        p_ += n;
        return true;
    }
    // "%d": optional sign and at least one digit; values beyond 32 bits fail.
    bool integer(int32_t& value) {
        skipSpace();
        const char* q = p_;
        bool negative = false;
        if (q < end_ && (*q == '+' || *q == '-')) negative = *q++ == '-';
        if (q >= end_ || *q < '0' || *q > '9') return false;
        long long v = 0;
        while (q < end_ && *q >= '0' && *q <= '9') {
            v = v * 10 + (*q++ - '0');
            if (v > 2147483648LL) return false;
        }
        if (negative) v = -v;
        if (v > 2147483647LL) return false;
        value = static_cast<int32_t>(v);
        p_ = q;
        return true;
    }
    // "%s": a non-empty run of non-white bytes.
    bool token() {
        skipSpace();
        const char* q = p_;
        while (q < end_ && !isSpace(*q)) ++q;
        if (q == p_) return false;
        p_ = q;
        return true;
    }
    std::string rest() const { return std::string(p_, end_); }

private:
    static bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    const char* p_;
    const char* end_;
};

int32_t readInt32LE(const unsigned char* p) {
    uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
                 static_cast<uint32_t>(p[3]) << 24;
    return static_cast<int32_t>(v);
}

void appendInt32LE(std::string& out, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    char b[4] = {static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff), static_cast<char>((v >> 16) & 0xff),
                 static_cast<char>((v >> 24) & 0xff)};
    out.append(b, 4);
}

[[noreturn]] void refuseTooFewNodes(int32_t nodeNum, const std::string& source, int line) {
    reportError(strFormat("Error: the net in %s has %d nodes; a net needs at least its start and end nodes (line %d of file %s)",
                          source.c_str(), nodeNum, line, kModule));
}

void checkLinkRange(int32_t s, int32_t e, int32_t link, int32_t nodeNum, const std::string& source) {
    if (s < 0 || s >= nodeNum || e < 0 || e >= nodeNum)
        reportError(strFormat("Error: link %d (S=%d, E=%d) of the net in %s leaves the node range [0, %d] (line %d of file %s)",
                              link, s, e, source.c_str(), nodeNum - 1, __LINE__, kModule));
}

// Depth-first expansion of null successors. The null nodes are put in
// post-order with an explicit stack (null chains may be long); a null node met
// again while its own expansion is open closes a cycle of null nodes. The list
// sizes are added up before any list is filled, so that a net whose lists
// would explode is refused cheaply; then each null node's list is built once
// and copied where it is reached.
void deriveLists(std::vector<netNode>& nodes, const std::string& source) {
    const size_t n = nodes.size();
    enum : unsigned char { kNew, kOpen, kDone };
    std::vector<unsigned char> state(n, kNew);
    std::vector<size_t> order;  // null nodes, each after its null successors
    std::vector<std::pair<size_t, size_t>> stack;  // (node, next succ position)
    for (size_t root = 0; root < n; ++root) {
        if (nodes[root].sylIndex >= 0 || state[root] != kNew) continue;
        state[root] = kOpen;
        stack.emplace_back(root, 0);
        while (!stack.empty()) {
            auto& [v, pos] = stack.back();
            const IntVec& succ = nodes[v].succ;
            if (pos < succ.size()) {
                size_t s = static_cast<size_t>(succ[pos++]);
                if (nodes[s].sylIndex >= 0) continue;
                if (state[s] == kOpen)
                    reportError(strFormat("Error: the net in %s has a cycle of null nodes through node %zu (line %d of file %s)",
                                          source.c_str(), s, __LINE__, kModule));
                if (state[s] == kNew) {
                    state[s] = kOpen;
                    stack.emplace_back(s, 0);
                }
            } else {
                state[v] = kDone;
                order.push_back(v);
                stack.pop_back();
            }
        }
    }

    std::vector<long long> size(n, 0);
    long long total = 0;
    auto addUp = [&](size_t v) {
        long long sum = 0;
        for (int32_t s : nodes[v].succ) sum += nodes[static_cast<size_t>(s)].sylIndex >= 0 ? 1 : size[static_cast<size_t>(s)];
        size[v] = std::min(sum, MAX_NET_NEXT_WORD_ENTRIES + 1);
        total += size[v];
        if (total > MAX_NET_NEXT_WORD_ENTRIES)
            reportError(strFormat("Error: the next-word-node lists of the net in %s exceed %lld entries; null nodes reached along "
                                  "too many paths (line %d of file %s)",
                                  source.c_str(), MAX_NET_NEXT_WORD_ENTRIES, __LINE__, kModule));
    };
    for (size_t v : order) addUp(v);
    for (size_t v = 0; v < n; ++v)
        if (nodes[v].sylIndex >= 0) addUp(v);

    auto fill = [&](size_t v) {
        IntVec list;
        list.reserve(static_cast<size_t>(size[v]));
        for (int32_t s : nodes[v].succ) {
            const netNode& next = nodes[static_cast<size_t>(s)];
            if (next.sylIndex >= 0)
                list.push_back(s);
            else
                list.insert(list.end(), next.nextWordNodes.begin(), next.nextWordNodes.end());
        }
        nodes[v].nextWordNodes = std::move(list);
    };
    for (size_t v : order) fill(v);
    for (size_t v = 0; v < n; ++v)
        if (nodes[v].sylIndex >= 0) fill(v);
}

// Every model index below 0 in the entries the net's word nodes use becomes
// 0: the reserved names the model set lacks ("sp", "sil", fillers).
void adjustDictionary(const std::vector<netNode>& nodes, dictClass& dict) {
    for (const netNode& node : nodes) {
        if (node.sylIndex < 0) continue;
        for (auto& m : dict.m_pronDict[static_cast<size_t>(node.sylIndex)].models)
            if (m < 0) m = 0;
    }
}

}  // namespace

bool isNullWord(const std::string& word) { return word == "!NULL" || word == "!Null" || word == "!null"; }

void netClass::netRead(const std::string& fileName, dictClass& dict) {
    std::string ext = fileExtension(fileName);
    if (ext == "netb" || ext == "NETB") {
        readBinary(fileName, dict);
    } else if (ext == "net" || ext == "NET") {
        StrVec lines;
        readLines(fileName, lines, 0);
        netFromLines(lines, dict, fileName);
    } else {
        reportError(strFormat("Error in reading %s: The only allowed extension are \"net\" and \"netb\".  (line %d of file %s)\n",
                              fileName.c_str(), __LINE__, kModule));
    }
}

void netClass::netFromLines(const StrVec& lines, dictClass& dict, const std::string& source) {
    if (lines.empty()) reportError(strFormat("Error: netVs.size()==0! (line %d of file %s)", __LINE__, kModule));
    int32_t nn = 0, ln = 0;
    {
        const std::string header = lines.size() > 1 ? lines[1] : std::string();
        Scanner sc(header);
        if (!(sc.literal("N=") && sc.integer(nn) && (sc.skipSpace(), sc.literal("L=")) && sc.integer(ln)) || ln < 0)
            reportError(strFormat("Error: the second line of the net in %s is not a header \"N=<nodes>\tL=<links>\": \"%s\" "
                                  "(line %d of file %s)",
                                  source.c_str(), quote(header).c_str(), __LINE__, kModule));
    }
    if (nn < 2) refuseTooFewNodes(nn, source, __LINE__);
    const size_t needed = 2 + static_cast<size_t>(nn) + static_cast<size_t>(ln);
    if (lines.size() < needed)
        reportError(strFormat("Error: the net in %s announces %d nodes and %d links but only %zu lines follow its header "
                              "(line %d of file %s)",
                              source.c_str(), nn, ln, lines.size() - 2, __LINE__, kModule));

    const int32_t dictSize = static_cast<int32_t>(dict.m_pronDict.size());
    std::vector<netNode> parsed(static_cast<size_t>(nn));
    for (int32_t i = 0; i < nn; ++i) {
        const std::string& line = lines[2 + static_cast<size_t>(i)];
        Scanner sc(line);
        int32_t ignored = 0;
        if (!(sc.literal("I=") && sc.integer(ignored) && (sc.skipSpace(), sc.literal("W="))))
            reportError(strFormat("Error: line %d of the net in %s is not a node line \"I=<index>\tW=<word>\": \"%s\" "
                                  "(line %d of file %s)",
                                  i + 3, source.c_str(), quote(line).c_str(), __LINE__, kModule));
        std::string w = sc.rest();
        strTrimRight(w);
        netNode& node = parsed[static_cast<size_t>(i)];
        size_t at1 = w.find('@');
        node.word = w.substr(0, at1);
        if (isNullWord(node.word)) continue;
        if (at1 != std::string::npos) {
            size_t at2 = w.find('@', at1 + 1);
            node.sylIndex = parseLeadingInt(w.substr(at1 + 1, at2 == std::string::npos ? std::string::npos : at2 - at1 - 1));
            if (at2 != std::string::npos) node.extra = w.substr(at2 + 1);
        }
        if (node.sylIndex == -1) {
            node.sylIndex = dict.pronDictFind(node.word);
            if (node.sylIndex < 0)
                reportError(strFormat("Error: \"%s\" (nodeIndex=%d) not found in the pronunciation dictionary. (line %d of file %s)\n",
                                      node.word.c_str(), i, __LINE__, kModule));
        }
    }

    for (int32_t j = 0; j < ln; ++j) {
        const std::string& line = lines[2 + static_cast<size_t>(nn) + static_cast<size_t>(j)];
        Scanner sc(line);
        int32_t s = 0, e = 0;
        if (!(sc.token() && (sc.skipSpace(), sc.literal("S=")) && sc.integer(s) && (sc.skipSpace(), sc.literal("E=")) &&
              sc.integer(e)))
            reportError(strFormat("Error: line %d of the net in %s is not a link line \"J=<link>\tS=<from>\tE=<to>\": \"%s\" "
                                  "(line %d of file %s)",
                                  nn + j + 3, source.c_str(), quote(line).c_str(), __LINE__, kModule));
        checkLinkRange(s, e, j, nn, source);
        parsed[static_cast<size_t>(s)].succ.push_back(e);
    }

    deriveLists(parsed, source);

    for (const netNode& node : parsed) {
        if (isNullWord(node.word)) continue;
        if (node.sylIndex < 0 || node.sylIndex >= dictSize)
            reportError(strFormat("Error: sylIndex (%d) out of the range of [0, %d]! (line %d of file %s)\n", node.sylIndex,
                                  dictSize, __LINE__, kModule));
    }
    adjustDictionary(parsed, dict);
    nodes = std::move(parsed);
    nodeNum = nn;
    linkNum = ln;
    m_searchSlots.clear();
}

void netClass::readBinary(const std::string& fileName, dictClass& dict) {
    const std::string bytes = readFileBytes(fileName);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const long long size = static_cast<long long>(bytes.size());
    if (size < 8)
        reportError(strFormat("Error: the binary net %s is truncated: %lld bytes, fewer than its two counts (line %d of file %s)",
                              fileName.c_str(), size, __LINE__, kModule));
    const int32_t nn = readInt32LE(data), ln = readInt32LE(data + 4);
    if (nn < 2) refuseTooFewNodes(nn, fileName, __LINE__);
    if (ln < 0)
        reportError(strFormat("Error: the binary net %s announces %d links (line %d of file %s)", fileName.c_str(), ln, __LINE__,
                              kModule));
    const long long needed = 8 + 4LL * (nn - 2) + 8LL * ln;
    if (size < needed)
        reportError(strFormat("Error: the binary net %s is truncated: %d nodes and %d links need %lld bytes, the file has %lld "
                              "(line %d of file %s)",
                              fileName.c_str(), nn, ln, needed, size, __LINE__, kModule));

    const int32_t dictSize = static_cast<int32_t>(dict.m_pronDict.size());
    std::vector<netNode> parsed(static_cast<size_t>(nn));
    parsed[0].word = parsed[1].word = "!NULL";
    const unsigned char* p = data + 8;
    for (int32_t i = 2; i < nn; ++i, p += 4) {
        netNode& node = parsed[static_cast<size_t>(i)];
        node.sylIndex = readInt32LE(p);
        if (node.sylIndex == -1) {
            node.word = "!NULL";  // so that the text form written from it reads back
        } else if (node.sylIndex < 0 || node.sylIndex >= dictSize) {
            reportError(strFormat("Error: sylIndex (%d) out of the range of [0, %d]! (line %d of file %s)\n", node.sylIndex, dictSize,
                                  __LINE__, kModule));
        }
    }
    for (int32_t j = 0; j < ln; ++j, p += 8) {
        int32_t s = readInt32LE(p), e = readInt32LE(p + 4);
        checkLinkRange(s, e, j, nn, fileName);
        parsed[static_cast<size_t>(s)].succ.push_back(e);
    }

    deriveLists(parsed, fileName);
    adjustDictionary(parsed, dict);
    nodes = std::move(parsed);
    nodeNum = nn;
    linkNum = ln;
    m_searchSlots.clear();
}

void netClass::writeText(std::FILE* f) const {
    size_t links = 0;
    for (const netNode& node : nodes) links += node.succ.size();
    std::string out = strFormat("VERSION=1.0 (by netClass::netPrint())\nN=%d\tL=%zu\n", static_cast<int>(nodes.size()), links);
    for (size_t i = 0; i < nodes.size(); ++i) {
        const netNode& node = nodes[i];
        out += strFormat("I=%zu\tW=", i);
        out += node.word;
        out += strFormat("@%d@", node.sylIndex);
        out += node.extra;
        out += '\n';
    }
    size_t j = 0;
    for (size_t i = 0; i < nodes.size(); ++i)
        for (int32_t e : nodes[i].succ) out += strFormat("J=%zu\tS=%zu\tE=%d\n", j++, i, e);
    std::fwrite(out.data(), 1, out.size(), f);
}

void netClass::netPrint(const std::string& fileName) const {
    if (fileName.empty()) {
        writeText(stdout);
        std::fflush(stdout);
        return;
    }
    FilePtr f = openFile(fileName, "w");
    writeText(f.get());
}

void netClass::netWriteBinary(const std::string& fileName) const {
    size_t links = 0;
    for (const netNode& node : nodes) links += node.succ.size();
    std::string out;
    out.reserve(8 + 4 * nodes.size() + 8 * links);
    appendInt32LE(out, static_cast<int32_t>(nodes.size()));
    appendInt32LE(out, static_cast<int32_t>(links));
    for (size_t i = 2; i < nodes.size(); ++i) appendInt32LE(out, nodes[i].sylIndex);
    for (size_t i = 0; i < nodes.size(); ++i)
        for (int32_t e : nodes[i].succ) {
            appendInt32LE(out, static_cast<int32_t>(i));
            appendInt32LE(out, e);
        }
    FilePtr f = openFile(fileName, "wb");
    std::fwrite(out.data(), 1, out.size(), f.get());
}

void netClass::setNodePenalty(float p) {
    for (netNode& node : nodes) node.penalty = 0.0f;
    for (netNode& node : nodes)
        if (node.word == "filler" || node.word == "fillerC" || node.word == "fillerV") node.penalty = p;
}

int netClass::fanOut() const {
    size_t most = 0;
    for (const netNode& node : nodes) most = std::max(most, node.nextWordNodes.size());
    return static_cast<int>(most);
}

void netClass::resetSearchSlots() { m_searchSlots.assign(nodes.size() * MAX_STATE_NUM_IN_SYL, -1); }

}  // namespace kedo
