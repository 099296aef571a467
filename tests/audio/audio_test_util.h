// Builders for hand-made WAV and FLV files used by the audio tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kedo::test {

inline std::string le16(uint32_t v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; }
inline std::string le32(uint32_t v) { return le16(v & 0xFFFF) + le16(v >> 16); }
inline std::string be24(uint32_t v) { return std::string{char((v >> 16) & 0xFF), char((v >> 8) & 0xFF), char(v & 0xFF)}; }
inline std::string be32(uint32_t v) { return std::string{char(v >> 24)} + be24(v); }

// A RIFF chunk: id, little-endian size (the real one unless given), data and
// a pad byte for odd sizes.
inline std::string chunk(const std::string& id, const std::string& data, int64_t declared = -1) {
    std::string out = id + le32(declared < 0 ? uint32_t(data.size()) : uint32_t(declared)) + data;
    if (data.size() % 2) out += '\0';
    return out;
}

// The "fmt " data: 16 bytes, or 18 with the extra-size field.
inline std::string fmtData(int tag, int channels, int rate, int bits, bool withExtra = true) {
    int align = channels * bits / 8;
    std::string d = le16(tag) + le16(channels) + le32(rate) + le32(align * rate) + le16(align) + le16(bits);
    if (withExtra) d += le16(0);
    return d;
}

inline std::string riff(const std::string& body) { return chunk("RIFF", "WAVE" + body); }

inline std::string pcm16(const std::vector<int16_t>& s) {
    std::string out;
    for (int16_t v : s) out += le16(uint16_t(v));
    return out;
}

// One FLV tag preceded by nothing; the caller adds the previous-tag-size
// fields (flvStream does it right).
inline std::string flvTag(int type, const std::string& data, int streamId = 0) {
    return std::string{char(type)} + be24(uint32_t(data.size())) + be24(0) + '\0' + be24(uint32_t(streamId)) + data;
}

// A well-formed FLV file: header, then each tag after a correct
// previous-tag-size field, and the final previous-tag-size field.
inline std::string flvStream(const std::vector<std::string>& tags) {
    std::string out = std::string("FLV\x01\x04", 5) + be32(9);
    uint32_t prev = 0;
    for (const std::string& t : tags) {
        out += be32(prev) + t;
        prev = uint32_t(t.size());
    }
    return out + be32(prev);
}

}  // namespace kedo::test
