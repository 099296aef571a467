/* The engine for C hosts (and hosts in other languages through their C
 * bindings): the five operations of the engine object.
 *
 *   kedo_engine *e = kedo_create(NULL);      (KEDO_HOME or the installed data)
 *   double score;
 *   if (e == NULL || kedo_assess(e, "/data/hello.wav", "hello world", &score) != KEDO_OK)
 *       fprintf(stderr, "%s\n", kedo_last_error());
 *   kedo_destroy(e);
 *
 * Strings are UTF-8. Relative file names are relative to the engine's working
 * folder; the process's current folder is never changed. Engines with
 * different working folders run at once on different threads; one operation
 * at a time runs per working folder (a call made while another one runs on it
 * on a different thread returns KEDO_BUSY). Nothing here ends the host
 * process or lets an exception out. */
#ifndef KEDO_KEDO_H
#define KEDO_KEDO_H

#include <stddef.h>
#include <stdint.h>

#include "kedo/export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct kedo_engine kedo_engine;

/* Status codes of the operations. */
enum {
    KEDO_OK = 0,               /* the out argument holds the result */
    KEDO_FAILED = 1,           /* the operation ended with an error */
    KEDO_BUSY = 2,             /* another operation is running on this working folder */
    KEDO_INVALID_ARGUMENT = 3  /* a null engine, string or out pointer */
};

/* The kinds of failure (kedo_last_error_kind). */
enum {
    KEDO_ERROR_NONE = 0,          /* the last call succeeded */
    KEDO_ERROR_BAD_INPUT = 1,     /* an unusable argument: empty sentence, invalid text, null pointer */
    KEDO_ERROR_UNKNOWN_WORD = 2,  /* a word or character the engine cannot pronounce */
    KEDO_ERROR_BAD_AUDIO = 3,     /* missing, unreadable, undecodable or unusable audio */
    KEDO_ERROR_ENGINE = 4         /* anything else: data folder, models, parameters, busy */
};

/* Creates the engine: records with 1 channel, 16000 Hz, 16 bits, takes
 * working_folder (NULL or "" = KEDO_HOME, else the installed data folder) as
 * its working folder, loads the English parameter sets and empties
 * "kedoData/output". Returns NULL on failure (see kedo_last_error). */
KEDO_API kedo_engine *kedo_create(const char *working_folder);
/* Destroys the engine and its recorder. NULL is ignored. */
KEDO_API void kedo_destroy(kedo_engine *engine);

/* Records record_time seconds, saves "kedoData/output/saWAV.wav" and assesses
 * it against sentence; *score is 0 to 100. */
KEDO_API int kedo_record_and_assess(kedo_engine *engine, double record_time, const char *sentence, double *score);
/* Records record_time seconds, saves "kedoData/output/vcWAV.wav" and
 * recognises which sentence of the list file was spoken. *result_sentence is
 * a new string, freed with kedo_free_string. */
KEDO_API int kedo_record_and_recog(kedo_engine *engine, double record_time, const char *sentence_list_file,
                          char **result_sentence);
/* Assesses the audio file against sentence. */
KEDO_API int kedo_assess(kedo_engine *engine, const char *wav_file, const char *sentence, double *score);
/* Recognises which sentence of the list file the audio file holds. */
KEDO_API int kedo_recog(kedo_engine *engine, const char *wav_file, const char *sentence_list_file, char **result_sentence);
/* Assess and recognise as above, returning everything the run found as one
 * JSON object (UTF-8): score, sentence, words and phones with start and end
 * in seconds and scores, discounts, pitch and volume tracks, warnings and the
 * output folder. *result_json is a new string, freed with kedo_free_string. */
KEDO_API int kedo_assess_result(kedo_engine *engine, const char *wav_file, const char *sentence, char **result_json);
KEDO_API int kedo_recog_result(kedo_engine *engine, const char *wav_file, const char *sentence_list_file,
                      char **result_json);

/* Nonzero selects Chinese, 0 selects English. */
KEDO_API int kedo_switch_language(kedo_engine *engine, int32_t type);

/* Where the engine's progress, timing and "Saved" lines go (standard output
 * by default). A callback receives whole lines (one or more, each ending in
 * "\n", except perhaps the last text of an operation), not NUL-terminated, on
 * the thread of the operation; a NULL callback discards them. A file is
 * appended to; a NULL path goes back to standard output. Set them between
 * operations. */
typedef void (*kedo_progress_fn)(const char *text, size_t length, void *user);
KEDO_API int kedo_set_progress_callback(kedo_engine *engine, kedo_progress_fn callback, void *user);
KEDO_API int kedo_set_progress_file(kedo_engine *engine, const char *path);

/* The message of the calling thread's last failed kedo_* call; "" after a
 * successful one. Valid until the thread's next kedo_* call. */
KEDO_API const char *kedo_last_error(void);
/* The kind of the calling thread's last failed kedo_* call (KEDO_ERROR_*);
 * KEDO_ERROR_NONE after a successful one. */
KEDO_API int kedo_last_error_kind(void);
/* Frees a string returned by the engine. NULL is ignored. */
KEDO_API void kedo_free_string(char *text);

#ifdef __cplusplus
}
#endif

#endif /* KEDO_KEDO_H */
