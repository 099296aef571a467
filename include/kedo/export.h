/* KEDO_API marks what the shared library libkedo.so exports: the engine
 * object, the C interface, the error type, the progress sinks and the result
 * helpers. Everything else in the library stays internal to it. */
#ifndef KEDO_EXPORT_H
#define KEDO_EXPORT_H

#if defined(__GNUC__) && !defined(_WIN32)
#define KEDO_API __attribute__((visibility("default")))
#else
#define KEDO_API
#endif

#endif
