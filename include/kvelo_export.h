/* kvelo_export.h: the one export macro of libkvelo.so.
 * The library is built with hidden visibility; only what carries KVELO_API
 * (C families, exported classes and explicit template instances) is visible to hosts. */
#ifndef KVELO_EXPORT_H
#define KVELO_EXPORT_H

#define KVELO_API __attribute__((visibility("default")))

#ifdef __cplusplus
#define KVELO_C_BEGIN extern "C" {
#define KVELO_C_END }
#else
#define KVELO_C_BEGIN
#define KVELO_C_END
#endif

#endif
