// Reading what the picture of a run shows from its output folder: the result
// document "output.xml" and the conditioned recording "output.wave".
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "facade/code_page.h"
#include "plot/result_picture.h"
#include "scoring/scoring_texts.h"
#include "util/file_util.h"
#include "util/report_error.h"

namespace kedo {

namespace {

constexpr const char* kModule = "plot";
constexpr double kWaveRate = 16000;    // the conditioned recording's rate
constexpr double kFrameSeconds = 0.01;
constexpr int kMaxDepth = 32;          // the document nests five deep

std::string joinPath(const std::string& folder, const char* name) {
    if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) return folder + name;
    return folder + "/" + name;
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

[[noreturn]] void badFile(const std::string& path, const std::string& what, int line) {
    reportError(strFormat("%s is not a result document of a run: %s (line %d of %s)", path.c_str(), what.c_str(),
                          line, kModule));
}

// One element of the document: its name, idx attribute, text and children.
struct Element {
    std::string name;
    int idx = 0;
    std::string text;
    std::vector<std::unique_ptr<Element>> children;

    const Element* child(const std::string& n) const {
        for (const auto& c : children)
            if (c->name == n) return c.get();
        return nullptr;
    }
};

std::string decodeEntities(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '&') {
            static const std::pair<const char*, char> kEntities[] = {
                {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
            bool done = false;
            for (const auto& [entity, c] : kEntities) {
                if (s.compare(i, std::char_traits<char>::length(entity), entity) == 0) {
                    out += c;
                    i += std::char_traits<char>::length(entity) - 1;
                    done = true;
                    break;
                }
            }
            if (done) continue;
        }
        out += s[i];
    }
    return out;
}

// The value of attribute `name` in the inside of a start tag, or "".
std::string attribute(const std::string& tag, const std::string& name) {
    size_t pos = 0;
    while ((pos = tag.find(name + "=\"", pos)) != std::string::npos) {
        if (pos == 0 || tag[pos - 1] == ' ' || tag[pos - 1] == '\t' || tag[pos - 1] == '\n') {
            size_t start = pos + name.size() + 2, end = tag.find('"', start);
            if (end == std::string::npos) return "";
            return tag.substr(start, end - start);
        }
        pos += name.size();
    }
    return "";
}

// The elements of the document, as a tree under a nameless top.
std::unique_ptr<Element> parseXml(const std::string& doc, const std::string& path) {
    auto top = std::make_unique<Element>();
    std::vector<Element*> open{top.get()};
    size_t i = 0;
    while (i < doc.size()) {
        size_t lt = doc.find('<', i);
        if (lt == std::string::npos) lt = doc.size();
        open.back()->text += decodeEntities(doc.substr(i, lt - i));
        if (lt == doc.size()) break;
        const char* closer = ">";
        if (doc.compare(lt, 4, "<!--") == 0) closer = "-->";
        else if (doc.compare(lt, 2, "<?") == 0) closer = "?>";
        size_t gt = doc.find(closer, lt + 1);
        if (gt == std::string::npos) badFile(path, strFormat("a tag at byte %zu is not closed", lt), __LINE__);
        const size_t after = gt + std::char_traits<char>::length(closer);
        if (doc[lt + 1] == '!' || doc[lt + 1] == '?') {
            i = after;
            continue;
        }
        std::string tag = doc.substr(lt + 1, gt - lt - 1);
        if (!tag.empty() && tag[0] == '/') {
            std::string name = tag.substr(1);
            while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
            if (open.size() < 2 || open.back()->name != name)
                badFile(path, strFormat("the end tag </%s> at byte %zu closes no open element", name.c_str(), lt),
                        __LINE__);
            open.pop_back();
            i = after;
            continue;
        }
        const bool empty = !tag.empty() && tag.back() == '/';
        if (empty) tag.pop_back();
        const size_t nameEnd = tag.find_first_of(" \t\r\n");
        auto element = std::make_unique<Element>();
        element->name = tag.substr(0, nameEnd);
        if (element->name.empty()) badFile(path, strFormat("a tag without a name at byte %zu", lt), __LINE__);
        element->idx = std::atoi(attribute(tag, "idx").c_str());
        Element* raw = element.get();
        open.back()->children.push_back(std::move(element));
        if (!empty) {
            if (open.size() > static_cast<size_t>(kMaxDepth))
                badFile(path, strFormat("elements nest deeper than %d", kMaxDepth), __LINE__);
            open.push_back(raw);
        }
        i = after;
    }
    if (open.size() != 1) badFile(path, "the element <" + open.back()->name + "> is not closed", __LINE__);
    return top;
}

const Element& need(const Element* parent, const char* name, const std::string& path) {
    const Element* e = parent ? parent->child(name) : nullptr;
    if (e == nullptr) badFile(path, strFormat("it has no <%s> element", name), __LINE__);
    return *e;
}

std::vector<double> numbers(const Element& e, const std::string& path) {
    std::vector<double> out;
    const char* p = e.text.c_str();
    while (true) {
        while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
        if (*p == '\0') break;
        char* end = nullptr;
        double v = std::strtod(p, &end);
        if (end == p)
            badFile(path, strFormat("<%s idx=\"%d\"> holds \"%s\", which is not a list of numbers", e.name.c_str(),
                                    e.idx, e.text.substr(0, 40).c_str()),
                    __LINE__);
        out.push_back(v);
        p = end;
    }
    return out;
}

double number(const Element* e, const std::string& path, double fallback) {
    if (e == nullptr) return fallback;
    std::vector<double> v = numbers(*e, path);
    return v.empty() ? fallback : v.front();
}

// The children of a structure array grouped by their idx: one map of field
// name to element per member, in idx order (the document writes each member's
// fields with the member's idx).
std::vector<std::map<std::string, const Element*>> members(const Element& array) {
    std::map<int, std::map<std::string, const Element*>> byIdx;
    for (const auto& c : array.children)
        if (c->idx > 0) byIdx[c->idx].emplace(c->name, c.get());
    std::vector<std::map<std::string, const Element*>> out;
    for (auto& [idx, fields] : byIdx) out.push_back(std::move(fields));
    return out;
}

const Element* field(const std::map<std::string, const Element*>& m, const char* name) {
    auto it = m.find(name);
    return it == m.end() ? nullptr : it->second;
}

// The interval of a node or phone: start and end seconds.
bool interval(const std::map<std::string, const Element*>& m, const std::string& path, double& start, double& end) {
    const Element* e = field(m, "interval");
    if (e == nullptr) return false;
    std::vector<double> v = numbers(*e, path);
    if (v.size() != 2 || !std::isfinite(v[0]) || !std::isfinite(v[1]) || v[1] < v[0])
        badFile(path, strFormat("<interval idx=\"%d\"> is not a time span", e->idx), __LINE__);
    start = v[0];
    end = v[1];
    return true;
}

// Big5 text to UTF-8, whatever the code page of the thread (the document
// names its encoding).
std::string big5ToUtf8(const std::string& s) {
#ifdef _WIN32
    if (s.empty()) return {};
    const int length = static_cast<int>(s.size());
    int n = MultiByteToWideChar(950, MB_ERR_INVALID_CHARS, s.data(), length, nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<size_t>(n) : 0, L'\0');
    if (n <= 0 || MultiByteToWideChar(950, MB_ERR_INVALID_CHARS, s.data(), length, wide.data(), n) != n)
        throw KedoError("not Big5");
    return wideToUtf8(wide, "result document text");
#else
    return codePageToUtf8(s, CodePage::cp950, "result document text");
#endif
}

// Text of the document in UTF-8: Big5 documents are converted; when a text is
// not Big5, its bytes beyond ASCII become "?".
struct Utf8Text {
    bool big5 = false;

    std::string operator()(const std::string& s) const {
        if (!big5) return s;
        try {
            return big5ToUtf8(s);
        } catch (const KedoError&) {
            std::string out;
            for (char c : s) out += static_cast<unsigned char>(c) < 0x80 ? c : '?';
            return out;
        }
    }
};

void readDocument(const std::string& path, PictureData& d) {
    const std::string bytes = readFileBytes(path);
    std::unique_ptr<Element> top = parseXml(bytes, path);
    Utf8Text utf8;
    size_t decl = bytes.find("encoding=\"");
    if (decl != std::string::npos && decl < bytes.find('>')) {
        std::string enc = bytes.substr(decl + 10, 4);
        utf8.big5 = enc == "big5" || enc == "Big5" || enc == "BIG5";
    }
    const Element& root = need(top.get(), "root", path);
    const Element& cm = need(&root, "confidenceMeasure", path);
    if (const Element* lang = cm.child("language")) d.language = lang->text;
    d.score = number(cm.child("score"), path, 0);
    if (const Element* text = root.child("text")) {
        for (const auto& item : text->children) {
            if (!d.sentence.empty() && d.language != "chinese") d.sentence += ' ';
            d.sentence += utf8(item->text);
        }
    }
    const Element& word = need(&cm, "word", path);
    for (const auto& node : members(word)) {
        double start = 0, end = 0;
        if (!interval(node, path, start, end)) continue;
        const Element* text = field(node, "text");
        const Element* name = field(node, "name");
        const double score = number(field(node, "timberScore"), path, -1);
        if (text != nullptr && !text->text.empty())
            d.words.push_back({utf8(text->text), name ? utf8(name->text) : "", start, end, score});
        // The node's tracks, one value per frame of its span.
        for (const char* track : {"volume", "pitch"}) {
            const Element* e = field(node, track);
            if (e == nullptr) continue;
            std::vector<double> v = numbers(*e, path);
            const bool pitch = track[0] == 'p';
            if (pitch && !v.empty()) d.hasPitch = true;
            for (size_t k = 0; k < v.size(); ++k) {
                if (!std::isfinite(v[k]) || (pitch && v[k] <= 0)) continue;
                (pitch ? d.pitch : d.volume).push_back({start + (k + 0.5) * kFrameSeconds, v[k]});
            }
        }
        const Element* phones = field(node, "phone");
        if (phones == nullptr) continue;
        for (const auto& phone : members(*phones)) {
            double ps = 0, pe = 0;
            if (!interval(phone, path, ps, pe)) continue;
            const Element* pname = field(phone, "name");
            const bool spoken = text != nullptr && !text->text.empty();
            d.phones.push_back({pname ? utf8(pname->text) : "", "", ps, pe,
                                spoken ? number(field(phone, "timberScore"), path, -1) : -1});
        }
    }
    if (const Element* discounts = cm.child("discountFactor")) {
        int k = 0;
        for (const auto& reason : members(*discounts)) {
            const int occurrences = static_cast<int>(number(field(reason, "occurrence"), path, 0));
            const Element* type = field(reason, "type");
            if (occurrences > 0)
                d.discounts.push_back({type ? utf8(type->text) : "", occurrences,
                                       number(field(reason, "ratio"), path, 1), k != kSyllableCountReason});
            ++k;
        }
    }
}

void readWave(const std::string& path, PictureData& d) {
    const std::string bytes = readFileBytes(path);
    std::vector<float> samples;
    samples.reserve(bytes.size() / 5);
    const char* p = bytes.c_str();
    const char* const begin = p;
    while (true) {
        while (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t') ++p;
        if (*p == '\0') break;
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(p, &end, 10);
        if (end == p || errno == ERANGE)
            reportError(strFormat("%s is not the conditioned recording of a run: no sample at byte %td "
                                  "(line %d of %s)",
                                  path.c_str(), p - begin, __LINE__, kModule));
        samples.push_back(static_cast<float>(v));
        p = end;
    }
    if (static_cast<size_t>(p - begin) != bytes.size())
        reportError(strFormat("%s is not the conditioned recording of a run: a zero byte at %td (line %d of %s)",
                              path.c_str(), p - begin, __LINE__, kModule));
    d.duration = samples.size() / kWaveRate;
    float peak = 0;
    for (float s : samples) peak = std::max(peak, std::fabs(s));
    const float scale = peak > 0 ? 1 / peak : 0;
    d.waveLow.assign(kWaveColumns, 0);
    d.waveHigh.assign(kWaveColumns, 0);
    if (samples.empty()) return;
    for (int c = 0; c < kWaveColumns; ++c) {
        size_t from = samples.size() * c / kWaveColumns, to = samples.size() * (c + 1) / kWaveColumns;
        if (to <= from) to = std::min(samples.size(), from + 1);
        auto [lo, hi] = std::minmax_element(samples.begin() + from, samples.begin() + to);
        d.waveLow[c] = *lo * scale;
        d.waveHigh[c] = *hi * scale;
    }
}

}  // namespace

PictureData readPictureData(const std::string& outputFolder) {
    PictureData d;
    d.folder = outputFolder;
    if (!isFolder(outputFolder))
        reportError(strFormat("Cannot draw the run in %s: there is no such folder (line %d of %s)",
                              outputFolder.c_str(), __LINE__, kModule));
    const std::string xml = joinPath(outputFolder, "output.xml");
    const std::string wave = joinPath(outputFolder, "output.wave");
    std::string missing;
    if (!fileExists(wave)) missing = "output.wave (the conditioned recording)";
    if (!fileExists(xml)) missing += std::string(missing.empty() ? "" : " and ") + "output.xml (the result document)";
    if (!missing.empty())
        reportError(strFormat("Cannot draw the run in %s: it lacks %s; the picture needs the output folder of "
                              "an assessment or recognition (line %d of %s)",
                              outputFolder.c_str(), missing.c_str(), __LINE__, kModule));
    readDocument(xml, d);
    readWave(wave, d);
    return d;
}

}  // namespace kedo
