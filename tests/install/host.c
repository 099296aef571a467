/* A program built against the installed engine: assesses one recording and
 * prints the result document (JSON) on standard output.
 * Usage: kedo_install_host [--home FOLDER] AUDIO SENTENCE
 * Without --home the engine takes KEDO_HOME or its installed data folder. */
#include <stdio.h>
#include <string.h>

#include <kedo/kedo.h>

static void quiet(const char *text, size_t length, void *user) {
    (void)text;
    (void)length;
    (void)user;
}

int main(int argc, char **argv) {
    const char *home = NULL;
    int first = 1;
    if (argc > 2 && strcmp(argv[1], "--home") == 0) {
        home = argv[2];
        first = 3;
    }
    if (argc - first != 2) {
        fprintf(stderr, "usage: %s [--home FOLDER] AUDIO SENTENCE\n", argv[0]);
        return 2;
    }
    kedo_engine *engine = kedo_create(home);
    if (engine == NULL) {
        fprintf(stderr, "kedo_create: %s\n", kedo_last_error());
        return 1;
    }
    kedo_set_progress_callback(engine, quiet, NULL);
    char *json = NULL;
    int status = kedo_assess_result(engine, argv[first], argv[first + 1], &json);
    if (status != KEDO_OK) {
        fprintf(stderr, "kedo_assess_result: %s\n", kedo_last_error());
        kedo_destroy(engine);
        return 1;
    }
    printf("%s\n", json);
    kedo_free_string(json);
    kedo_destroy(engine);
    return 0;
}
