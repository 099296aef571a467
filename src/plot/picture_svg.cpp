// Drawing a run as SVG: the header with the score and sentence, the waveform,
// the words and phones coloured by score, the volume and pitch tracks on the
// same time axis, and the discount reasons.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "kedo/plot.h"
#include "plot/result_picture.h"
#include "util/file_util.h"
#include "util/report_error.h"

namespace kedo {

namespace {

constexpr double kWidth = 1000;
constexpr double kLeft = 80;  // room for the row names
constexpr double kPlotWidth = kWaveColumns;
constexpr const char* kFont = "font-family=\"DejaVu Sans, Noto Sans CJK TC, sans-serif\"";

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default:
                if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') out += c;
        }
    }
    return out;
}

// The colour of a score: red at 0, yellow at 50, green at 100; grey when the
// span is not scored.
std::string scoreColour(double score) {
    if (!(score >= 0)) return "#d9d9d9";
    const double s = std::min(score, 100.0) / 50.0;
    static const int kStops[3][3] = {{0xf4, 0x6d, 0x43}, {0xfe, 0xe0, 0x8b}, {0x66, 0xbd, 0x63}};
    const int k = s >= 1 ? 1 : 0;
    const double f = s - k;
    int rgb[3];
    for (int c = 0; c < 3; ++c) rgb[c] = static_cast<int>(std::lround(kStops[k][c] + f * (kStops[k + 1][c] - kStops[k][c])));
    return strFormat("#%02x%02x%02x", rgb[0], rgb[1], rgb[2]);
}

// The width a text takes at a font size: wide for CJK and other non-Latin
// characters, narrow for ASCII.
double textWidth(const std::string& s, double size) {
    double w = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) w += 0.6 * size;
        else if (c >= 0xe0) w += 1.0 * size;  // lead byte of a three- or four-byte character
        else if (c >= 0xc0) w += 0.65 * size;
    }
    return w;
}

std::string scoreText(double score) { return strFormat("%.0f", score); }

class Svg {
public:
    void add(const char* fmt, ...) KEDO_PRINTF_FORMAT(2, 3) {
        va_list args;
        va_start(args, fmt);
        out_ += strFormatV(fmt, args);
        va_end(args);
        out_ += '\n';
    }
    void text(double x, double y, double size, const char* anchor, const std::string& body,
              const char* extra = "") {
        add("<text x=\"%.1f\" y=\"%.1f\" font-size=\"%g\" text-anchor=\"%s\"%s>%s</text>", x, y, size, anchor, extra,
            escape(body).c_str());
    }
    std::string& str() { return out_; }

private:
    std::string out_;
};

class Painter {
public:
    explicit Painter(const PictureData& d) : d_(d) {
        span_ = std::max(d.duration, 0.01);
        for (const auto& list : {&d.words, &d.phones})
            for (const PictureSpan& s : *list) span_ = std::max(span_, s.end);
    }

    std::string draw() {
        const double height = kDiscountTop + 30 + 18 * std::max<size_t>(1, d_.discounts.size()) + 10;
        svg_.add("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
        svg_.add("<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"%.0f\" height=\"%.0f\" "
                 "viewBox=\"0 0 %.0f %.0f\" %s>",
                 kWidth, height, kWidth, height, kFont);
        svg_.add("<rect x=\"0\" y=\"0\" width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>", kWidth, height);
        header();
        waveform();
        spans(d_.words, kWordTop, 40, 14, "words", true);
        spans(d_.phones, kPhoneTop, 34, 11, "phones", false);
        volume();
        pitch();
        timeAxis();
        discounts();
        svg_.add("</svg>");
        return std::move(svg_.str());
    }

private:
    static constexpr double kWaveTop = 76, kWaveHeight = 110;
    static constexpr double kWordTop = 196, kPhoneTop = 242;
    static constexpr double kVolumeTop = 290, kVolumeHeight = 64;
    static constexpr double kPitchTop = 364, kPitchHeight = 84;
    static constexpr double kAxisTop = 456, kDiscountTop = 492;

    double x(double t) const { return kLeft + t / span_ * kPlotWidth; }

    void rowName(double top, double height, const char* name) {
        svg_.text(kLeft - 8, top + height / 2 + 4, 12, "end", name, " fill=\"#555555\"");
    }

    void frame(double top, double height) {
        svg_.add("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"none\" stroke=\"#bbbbbb\"/>",
                 kLeft, top, kPlotWidth, height);
    }

    void header() {
        const char* kind = d_.language == "chinese" ? "Mandarin Chinese" : "English";
        svg_.add("<g>");
        svg_.add("<rect x=\"%.1f\" y=\"14\" width=\"92\" height=\"40\" rx=\"6\" fill=\"%s\"/>", kLeft,
                 scoreColour(d_.score).c_str());
        svg_.text(kLeft + 46, 42, 24, "middle", scoreText(d_.score), " font-weight=\"bold\"");
        svg_.text(kLeft + 106, 34, 18, "start", d_.sentence);
        svg_.text(kLeft + 106, 52, 12, "start",
                  strFormat("%s, %.2f s, %zu %s%s, %zu phones", kind, d_.duration, d_.words.size(),
                            d_.language == "chinese" ? "syllable" : "word", d_.words.size() == 1 ? "" : "s",
                            d_.phones.size()),
                  " fill=\"#555555\"");
        svg_.add("</g>");
        // The colour scale.
        svg_.add("<defs><linearGradient id=\"scale\" x1=\"0\" x2=\"1\" y1=\"0\" y2=\"0\">");
        for (int s : {0, 50, 100})
            svg_.add("<stop offset=\"%d%%\" stop-color=\"%s\"/>", s, scoreColour(s).c_str());
        svg_.add("</linearGradient></defs>");
        const double lx = kWidth - 20 - 150;
        svg_.add("<rect x=\"%.1f\" y=\"24\" width=\"150\" height=\"12\" fill=\"url(#scale)\"/>", lx);
        svg_.text(lx, 50, 10, "start", "0", " fill=\"#555555\"");
        svg_.text(lx + 75, 50, 10, "middle", "score", " fill=\"#555555\"");
        svg_.text(lx + 150, 50, 10, "end", "100", " fill=\"#555555\"");
    }

    void waveform() {
        rowName(kWaveTop, kWaveHeight, "wave");
        for (const PictureSpan& w : d_.words)
            svg_.add("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\" fill-opacity=\"0.3\"/>",
                     x(w.start), kWaveTop, x(w.end) - x(w.start), kWaveHeight, scoreColour(w.score).c_str());
        frame(kWaveTop, kWaveHeight);
        const double mid = kWaveTop + kWaveHeight / 2, half = kWaveHeight / 2 - 4;
        svg_.add("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#cccccc\"/>", kLeft, mid,
                 kLeft + kPlotWidth, mid);
        if (d_.waveHigh.empty() || d_.duration <= 0) return;
        const size_t n = d_.waveHigh.size();
        const double columnWidth = (x(d_.duration) - kLeft) / n;
        std::string points;
        for (size_t c = 0; c < n; ++c)
            points += strFormat("%.1f,%.1f ", kLeft + (c + 0.5) * columnWidth, mid - d_.waveHigh[c] * half);
        for (size_t c = n; c-- > 0;)
            points += strFormat("%.1f,%.1f ", kLeft + (c + 0.5) * columnWidth, mid - d_.waveLow[c] * half - 0.5);
        points.pop_back();
        svg_.add("<polygon points=\"%s\" fill=\"#3b6ea5\" stroke=\"#3b6ea5\" stroke-width=\"0.5\"/>",
                 points.c_str());
    }

    void spans(const std::vector<PictureSpan>& list, double top, double height, double size, const char* name,
               bool words) {
        rowName(top, height, name);
        svg_.add("<g>");
        for (const PictureSpan& s : list) {
            const double x0 = x(s.start), w = std::max(x(s.end) - x0, 0.5);
            std::string tip = s.label;
            if (!s.detail.empty() && s.detail != s.label) tip += " (" + s.detail + ")";
            tip += strFormat(" %.2f-%.2f s", s.start, s.end);
            if (s.score >= 0) tip += ", score " + scoreText(s.score);
            svg_.add("<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\" stroke=\"#ffffff\">"
                     "<title>%s</title></rect>",
                     x0, top, w, height, scoreColour(s.score).c_str(), escape(tip).c_str());
            const double cx = x0 + w / 2;
            if (textWidth(s.label, size) + 4 <= w)
                svg_.text(cx, top + size + 3, size, "middle", s.label, words ? " font-weight=\"bold\"" : "");
            if (s.score >= 0 && textWidth(scoreText(s.score), size - 2) + 4 <= w)
                svg_.text(cx, top + height - 5, size - 2, "middle", scoreText(s.score), " fill=\"#333333\"");
        }
        svg_.add("</g>");
    }

    // A track as polylines over its points, broken where frames are missing.
    void track(const std::vector<PicturePoint>& points, double top, double height, double low, double high,
               const char* colour) {
        std::string line;
        double last = -1;
        auto flush = [&] {
            if (line.empty()) return;
            line.pop_back();
            svg_.add("<polyline points=\"%s\" fill=\"none\" stroke=\"%s\" stroke-width=\"1.5\"/>", line.c_str(),
                     colour);
            line.clear();
        };
        for (const PicturePoint& p : points) {
            if (last >= 0 && p.time - last > 0.015) flush();
            const double f = high > low ? (p.value - low) / (high - low) : 0.5;
            line += strFormat("%.1f,%.1f ", x(p.time), top + height - 3 - f * (height - 6));
            last = p.time;
        }
        flush();
    }

    void volume() {
        rowName(kVolumeTop, kVolumeHeight, "volume");
        frame(kVolumeTop, kVolumeHeight);
        double high = 0;
        for (const PicturePoint& p : d_.volume) high = std::max(high, p.value);
        track(d_.volume, kVolumeTop, kVolumeHeight, 0, high, "#7b3294");
    }

    void pitch() {
        rowName(kPitchTop, kPitchHeight, "pitch");
        frame(kPitchTop, kPitchHeight);
        if (d_.pitch.empty()) {
            svg_.text(kLeft + kPlotWidth / 2, kPitchTop + kPitchHeight / 2 + 4, 12, "middle",
                      d_.hasPitch ? "no voiced frame" : "no pitch: the run's parameter set computes none",
                      " fill=\"#888888\"");
            return;
        }
        double low = d_.pitch.front().value, high = low;
        for (const PicturePoint& p : d_.pitch) {
            low = std::min(low, p.value);
            high = std::max(high, p.value);
        }
        low = std::floor(low - 1);
        high = std::ceil(high + 1);
        svg_.text(kLeft + 4, kPitchTop + 12, 10, "start", strFormat("%.0f semitones", high), " fill=\"#888888\"");
        svg_.text(kLeft + 4, kPitchTop + kPitchHeight - 4, 10, "start", strFormat("%.0f", low), " fill=\"#888888\"");
        track(d_.pitch, kPitchTop, kPitchHeight, low, high, "#d95f02");
    }

    void timeAxis() {
        svg_.add("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#555555\"/>", kLeft, kAxisTop,
                 kLeft + kPlotWidth, kAxisTop);
        // A step of 1, 2 or 5 times a power of ten, for at most 12 ticks.
        double step = std::pow(10.0, std::floor(std::log10(span_ / 12)));
        for (double f : {2.0, 2.5, 2.0})
            if (span_ / step > 12) step *= f;
        for (int k = 0; k <= 12 && k * step <= span_ + 1e-9; ++k) {
            const double t = k * step, tx = x(t);
            svg_.add("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#555555\"/>", tx, kAxisTop, tx,
                     kAxisTop + 5);
            svg_.text(tx, kAxisTop + 17, 10, "middle", strFormat(step < 0.1 ? "%.2f" : "%g", t));
        }
        svg_.text(kLeft - 16, kAxisTop + 17, 10, "end", "seconds", " fill=\"#555555\"");
    }

    void discounts() {
        double y = kDiscountTop + 12;
        svg_.text(kLeft, y, 13, "start", "Discounts", " font-weight=\"bold\"");
        y += 20;
        if (d_.discounts.empty()) svg_.text(kLeft, y, 12, "start", "none: the score was not lowered");
        for (const PictureDiscount& r : d_.discounts) {
            std::string line = strFormat("%s: %d %s, ratio %.3f", r.reason.c_str(), r.occurrences,
                                         r.occurrences == 1 ? "time" : "times", r.ratio);
            if (!r.applied) line += " (reported only; it does not lower the score)";
            svg_.text(kLeft, y, 12, "start", line);
            y += 18;
        }
    }

    const PictureData& d_;
    double span_ = 1;  // seconds shown on the time axis
    Svg svg_;
};

}  // namespace

std::string pictureSvg(const PictureData& data) { return Painter(data).draw(); }

std::string resultPictureSvg(const std::string& outputFolder) { return pictureSvg(readPictureData(outputFolder)); }

void writeResultPicture(const std::string& outputFolder, const std::string& svgPath) {
    const std::string svg = resultPictureSvg(outputFolder);
    FilePtr f = openFile(svgPath, "wb");
    if (std::fwrite(svg.data(), 1, svg.size(), f.get()) != svg.size() || std::fclose(f.release()) != 0)
        reportError(strFormat("Cannot write %s (line %d of %s)", svgPath.c_str(), __LINE__, "plot"));
}

}  // namespace kedo
