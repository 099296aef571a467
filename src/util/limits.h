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

// Largest WAV or raw audio file read, in bytes (over two hours of 16 kHz
// 16-bit mono); a larger file is refused rather than loaded.
inline constexpr unsigned long MAX_AUDIO_FILE_BYTES = 256ul << 20;
// Largest FLV file read, in bytes: every 64-byte Nellymoser block becomes 256
// samples, so this bounds the decoded size as well.
inline constexpr unsigned long MAX_FLV_FILE_BYTES = 64ul << 20;
// Longest recording the recorder accepts, in seconds.
inline constexpr double MAX_RECORD_SECONDS = 3600.0;
// Compressed audio (WebM, Ogg, MP4, MP3): the largest file read, and the
// longest decoded duration in seconds.
inline constexpr unsigned long MAX_MEDIA_FILE_BYTES = 64ul << 20;
inline constexpr double MAX_MEDIA_SECONDS = 600.0;

// --- signal front end ---

// Shortest wave that conditioning accepts (two 20 ms frames at 16000 Hz),
// before and after resampling.
inline constexpr int MIN_CONDITION_SAMPLES = 320;
// Sampling rates that conditioning accepts, in Hz.
inline constexpr int MIN_WAVE_RATE = 1000;
inline constexpr int MAX_WAVE_RATE = 384000;
// Feature configuration: longest analysis frame in samples, most mel channels,
// most cepstra, widest regression half-window.
inline constexpr int MAX_FEATURE_FRAME_LEN = 65536;
inline constexpr int MAX_MEL_CHANS = 1024;
inline constexpr int MAX_CEPS = 64;
inline constexpr int MAX_REGRESSION_WINDOW = 100;
// Pitch tracking: longest pitch frame in samples.
inline constexpr int MAX_PITCH_FRAME_SIZE = 65536;

// --- lexicon ---

// Longest word and PA of a binary wpa (".wpab") record, in bytes; longer
// records are refused.
inline constexpr int MAX_WPAB_WORD_LEN = 999;
inline constexpr int MAX_WPAB_PA_LEN = 99;

// Most syllable paths the exhaustive listing of the texts may produce in one
// run; a larger product of candidate counts is refused instead of exhausting
// memory.
inline constexpr long MAX_SYL_PATH_NUM = 1000000;

// --- search network ---

// Entries of all next-word-node lists of one net together. Null nodes reached
// along several null paths repeat their successors in every list that reaches
// them, so a small file can ask for an exponential number of entries; nets
// beyond this many (128 MB of indices) are refused.
inline constexpr long long MAX_NET_NEXT_WORD_ENTRIES = 32LL * 1024 * 1024;

// --- acoustic models ---

// Emitting states per model (states 1..numStates-2), and the fewest states a
// model may have (one emitting state between entry and exit).
inline constexpr int MAX_EMITTING_STATE_NUM = MAX_STATE_NUM - 2;
inline constexpr int MIN_STATE_NUM = 3;
// Characters kept of the vector-size line of a text macro file.
inline constexpr int MAX_MACRO_HEADER_LEN = 999;

// --- decoding ---

// Sorted candidates that get a final history entry at the end of a search
// (positions 0 to this one, inclusive), and the most candidates the arena
// path dump lists.
inline constexpr int FINAL_ENTRY_LAST_SLOT = 100;
inline constexpr int ARENA_PATH_LIST_NUM = 100;

// Most candidate slots a search arena may have (about 64 MB of candidates);
// a sizing beyond it is refused rather than allocated.
inline constexpr int MAX_ARENA_LEN = 2000000;

// --- assessment scoring ---

// The likelihoods of every state of the set over one phone's frames that the
// ranking of a phone against its competitors keeps at most (32 MB with their
// marks); longer phones are aligned model by model.
inline constexpr unsigned long MAX_SPAN_LIKELIHOODS = 4ul << 20;

// --- engine facade ---

// Loaded data an engine object keeps between calls (model sets, dictionaries,
// tables), in bytes: room for the assessment and recognition data of both
// languages at full size (a set of 1500 models with 8 mixtures takes about
// 60 MB in memory, an English pronunciation table of 100 000 words about
// 20 MB) while bounding what a service with several engines holds.
inline constexpr unsigned long MAX_DATA_CACHE_BYTES = 256ul << 20;
// A kept file whose modification or change time lies less than this many
// seconds before the moment it was read is checked by the hash of its bytes
// as well: time stamps come from a coarse clock (and whole seconds, or two,
// on some file systems), so a rewrite within one tick may leave them as
// they were.
inline constexpr int RACY_FILE_SECONDS = 3;

// Threads whose last error message one engine object keeps; beyond it the
// messages of other threads are dropped.
inline constexpr int MAX_ERROR_THREADS = 256;

// Time a capture device may take beyond the recording time before the
// recording is given up as stalled, in seconds.
inline constexpr double RECORD_GRACE_SECONDS = 2.0;

}  // namespace kedo
