// Every fixed capacity of the engine, in one place, each with its meaning.
#pragma once

namespace kedo {

// Text fields of the parameter record and other fixed-capacity strings hold at
// most this many characters (1000 bytes of storage with the terminating NUL).
inline constexpr int MAX_TEXT_LEN = 999;

// Lines of data files are read in pieces of at most this many characters; a
// longer physical line continues as the next piece.
inline constexpr int MAX_LINE_LEN = 999;

// HMM records: emitting and non-emitting states per model, streams per state,
// mixtures per stream, values per stream vector, characters per model name.
inline constexpr int MAX_STATE_NUM = 5;
inline constexpr int MAX_STREAM_NUM = 3;
inline constexpr int MAX_MIXTURE_NUM = 32;
inline constexpr int MAX_VECTOR_SIZE = 13;
inline constexpr int MAX_MODEL_NAME_LEN = 49;

// Search path history: syllables, phones and states one path may hold.
inline constexpr int MAX_SYL_NUM = 1000;
inline constexpr int MAX_PHONE_NUM = 2000;
inline constexpr int MAX_STATE_NUM_IN_SYL = 150;

// Longest utterance the front end accepts, in 10 ms frames (6 minutes).
inline constexpr int MAX_FRAME_NUM = 36000;

// --- audio input ---

// --- signal front end ---

// --- lexicon ---

// --- search network ---

// Entries of all next-word-node lists of one net together. Null nodes reached
// along several null paths repeat their successors in every list that reaches
// them, so a small file can ask for an exponential number of entries; nets
// beyond this many (128 MB of indices) are refused.
inline constexpr long long MAX_NET_NEXT_WORD_ENTRIES = 32LL * 1024 * 1024;

// --- acoustic models ---

// --- decoding ---

// --- assessment scoring ---

}  // namespace kedo
