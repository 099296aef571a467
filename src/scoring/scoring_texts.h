// Fixed texts of the result documents: the discount reasons in English and
// Chinese, and the Chinese labels of the diagnostic files. Chinese texts are
// Big5 bytes, written here as escapes.
#pragma once

namespace kedo {

// Number of discount reasons, in their fixed order.
inline constexpr int DISCOUNT_REASON_NUM = 7;

// The seven discount reasons, English, as the documents name them.
inline constexpr const char* kReasonNames[DISCOUNT_REASON_NUM] = {
    "Incomplete Viterbi search path",
    "No. of over-short syllables",
    "No. of overlong syllables",
    "No. of sp longer than 0.25 sec",
    "Difference between identified and actual no. of syllables",
    "Ratio between the longest and shortest syllables greater than 4",
    "Volume of sil too large",
};

// The reason that is reported but never lowers the score: the difference
// between the identified and the actual number of syllables.
inline constexpr int kSyllableCountReason = 4;

// "phone.cm": the seven discount reasons, Chinese, as one comment line
inline constexpr const char* kReasonNamesBig5Line =
    "% discountReason={'\xb8\xf4\xae|\xa8\xab\xa4\xa3\xa7\xb9\xa5\xfe', '\xb9L\xb5u\xad\xb5\xb8`\xaa\xba\xad\xd3\xbc\xc6', '\xb9L\xaa\xf8\xad\xb5\xb8`\xaa\xba\xad\xd3\xbc\xc6', '\xb6W\xb9L0.25\xac\xed\xaa\xbasp\xaa\xba\xad\xd3\xbc\xc6', '\xb9\xea\xbb\xda\xad\xb5\xb8`\xad\xd3\xbc\xc6\xa9M\xa7\xe4\xa5X\xa8\xd3\xad\xb5\xb8`\xad\xd3\xbc\xc6\xaa\xba\xaet\xb2\xa7', '\xb3\xcc\xaa\xf8\xa9M\xb3\xcc\xb5u\xad\xb5\xb8`\xaa\xba\xa4\xf1\xad\xc8\xa4j\xa9\xf3" "4', 'sil\xaa\xba\xad\xb5\xb6q\xb9L\xa4j'}\n";
// "phone.plp" header: every three lines form one unit
inline constexpr const char* kPlpHeader1 =
    "% \xae\xe6\xa6\xa1\xbb\xa1\xa9\xfa\xa1G\xa8" "C\xa4T\xa6" "C\xac\xb0\xa4@\xad\xd3\xb3\xe6\xa6\xec";
// "phone.plp" header: what the first line of a unit holds
inline constexpr const char* kPlpHeader2 =
    "% \xb2\xc4\xa4@\xa6" "C\xacO modelName, modelIndex, frameNum";
// "phone.plp" header: what the second line of a unit holds
inline constexpr const char* kPlpHeader3 =
    "% \xb2\xc4\xa4G\xa6" "C\xacO compModelIndex1, compModelIndex2, ...";
// "phone.plp" header: what the third line of a unit holds
inline constexpr const char* kPlpHeader4 =
    "% \xb2\xc4\xa4T\xa6" "C\xacO logProb1, logProb2, ...";
// "phone.cmd": "raw score = "
inline constexpr const char* kRawScoreLabel =
    "\xad\xec\xa9l\xa4\xc0\xbc\xc6 = ";
// "phone.cmd": "corrected score = "
inline constexpr const char* kCorrectedScoreLabel =
    "\xad\xd7\xa5\xbf\xa4\xc0\xbc\xc6 = ";
// Timing label of the pitch step: "pitch and volume (computed over the whole utterance)"
inline constexpr const char* kPitchVolumeLabel =
    "\xad\xb5\xb0\xaa\xbbP\xad\xb5\xb6q\xa1]\xbe\xe3\xacq\xadp\xba\xe2\xa1^";
// The seven discount reasons, Chinese, each in full-width parentheses
inline constexpr const char* kReasonNamesBig5[DISCOUNT_REASON_NUM] = {
    "\xa1]\xb8\xf4\xae|\xa8\xab\xa4\xa3\xa7\xb9\xa5\xfe\xa1^",
    "\xa1]\xb9L\xb5u\xad\xb5\xb8`\xaa\xba\xad\xd3\xbc\xc6\xa1^",
    "\xa1]\xb9L\xaa\xf8\xad\xb5\xb8`\xaa\xba\xad\xd3\xbc\xc6\xa1]\xb6W\xb9L0.7\xac\xed\xa1^\xa1^",
    "\xa1]\xb6W\xb9L0.25\xac\xed\xaa\xbasp\xaa\xba\xad\xd3\xbc\xc6\xa1^",
    "\xa1]\xb9\xea\xbb\xda\xad\xb5\xb8`\xad\xd3\xbc\xc6\xa9M\xa7\xe4\xa5X\xa8\xd3\xad\xb5\xb8`\xad\xd3\xbc\xc6\xaa\xba\xaet\xb2\xa7\xa1^",
    "\xa1]\xb3\xcc\xaa\xf8\xa9M\xb3\xcc\xb5u\xad\xb5\xb8`\xaa\xba\xa4\xf1\xad\xc8\xa4j\xa9\xf3" "4\xa1^",
    "\xa1]sil\xaa\xba\xad\xb5\xb6q\xb9L\xa4j\xa1^",
};

}  // namespace kedo
