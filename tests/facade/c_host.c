/* A C host of the engine: drives every function of kedo.h once and prints
 * what came back, for the facade tests to check.
 * Usage: kedo_c_host HOME AUDIO SENTENCE LISTFILE [GOOD_AUDIO GOOD_SENTENCE GOOD_LIST]
 * With the last three it also drives every call to success: the recordings
 * come from the capture device the environment names (a file played in real
 * time), and an assessment asked for while one records is refused as busy. */
#include <stdio.h>
#include <string.h>
#ifndef _WIN32
#include <pthread.h>
#include <unistd.h>
#endif

#include "kedo/kedo.h"

#ifndef _WIN32
struct recording {
    kedo_engine *engine;
    const char *sentence;
    double score;
    int status;
};

static void *record_and_assess(void *arg) {
    struct recording *r = (struct recording *)arg;
    r->status = kedo_record_and_assess(r->engine, 2.5, r->sentence, &r->score);
    return NULL;
}
#endif

/* Every call ends in success on a recording of the sentence. */
static void succeed(kedo_engine *engine, const char *audio, const char *sentence, const char *list) {
    double score = -1.0;
    char *text = NULL;
    int status = kedo_assess(engine, audio, sentence, &score);
    printf("good assess: %d score=%g\n", status, score);
    status = kedo_recog(engine, audio, list, &text);
    printf("good recog: %d text=%s\n", status, text ? text : "(none)");
    kedo_free_string(text);
    text = NULL;
#ifndef _WIN32
    {
        struct recording r = {engine, sentence, -1.0, -1};
        pthread_t thread;
        pthread_create(&thread, NULL, record_and_assess, &r);
        usleep(500000);
        score = -1.0;
        status = kedo_assess(engine, audio, sentence, &score);
        printf("while recording: %d score=%g\n", status, score);
        pthread_join(thread, NULL);
        printf("good record assess: %d score=%g\n", r.status, r.score);
    }
#endif
    status = kedo_record_and_recog(engine, 2.5, list, &text);
    printf("good record recog: %d text=%s\n", status, text ? text : "(none)");
    kedo_free_string(text);
}

int main(int argc, char **argv) {
    kedo_engine *missing, *engine;
    double score = -1.0;
    char *text = NULL;
    int status;

    if (argc != 5 && argc != 8) {
        fprintf(stderr, "usage: kedo_c_host HOME AUDIO SENTENCE LISTFILE [GOOD_AUDIO GOOD_SENTENCE GOOD_LIST]\n");
        return 2;
    }
    missing = kedo_create("/nonexistent/kedo/home");
    printf("create missing: %s: %s\n", missing ? "engine" : "null", kedo_last_error());
    kedo_destroy(missing);

    engine = kedo_create(argv[1]);
    if (engine == NULL) {
        printf("create: null: %s\n", kedo_last_error());
        return 1;
    }
    printf("create: ok\n");
    status = kedo_switch_language(engine, 7);
    printf("switch 7: %d [%s]\n", status, kedo_last_error());
    status = kedo_switch_language(engine, 0);
    printf("switch 0: %d [%s]\n", status, kedo_last_error());

    status = kedo_assess(engine, argv[2], argv[3], &score);
    printf("assess: %d score=%g [%s]\n", status, score, kedo_last_error());
    status = kedo_recog(engine, argv[2], argv[4], &text);
    printf("recog: %d text=%s [%s]\n", status, text ? text : "(none)", kedo_last_error());
    kedo_free_string(text);
    status = kedo_record_and_assess(engine, -1.0, argv[3], &score);
    printf("record: %d [%s]\n", status, kedo_last_error());
    status = kedo_assess(engine, argv[2], argv[3], NULL);
    printf("null score: %d [%s]\n", status, kedo_last_error());
    status = kedo_switch_language(NULL, 0);
    printf("null engine: %d [%s]\n", status, kedo_last_error());
    status = kedo_assess_result(engine, argv[2], argv[3], &text);
    printf("assess result: %d kind=%d %s\n", status, kedo_last_error_kind(), status == KEDO_OK ? text : "");
    if (status == KEDO_OK) kedo_free_string(text);
    text = NULL;
    status = kedo_assess_result(engine, argv[2], "", &text);
    printf("empty sentence: %d kind=%d text=%s\n", status, kedo_last_error_kind(), text ? text : "(none)");
    status = kedo_recog_result(engine, argv[2], argv[4], &text);
    printf("recog result: %d kind=%d\n", status, kedo_last_error_kind());
    if (status == KEDO_OK) kedo_free_string(text);
    status = kedo_recog_result(engine, argv[2], argv[4], NULL);
    printf("null result: %d kind=%d [%s]\n", status, kedo_last_error_kind(), kedo_last_error());

    if (argc == 8) succeed(engine, argv[5], argv[6], argv[7]);
    kedo_destroy(engine);
    return 0;
}
