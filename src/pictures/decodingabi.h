/* The decoding module's interface (slidemill-decoding.so: libvips, libheif and the code that
 * calls them), and all of it: plain C, so that nothing of either side's C++ (its exceptions,
 * its types, its inline functions) crosses it. The module exports one function,
 * slidemill_decoding_open; everything else passes through the structs below.
 *
 * SLIDEMILL_DECODING_ABI is given by the build: the first 32 bits of this file's SHA-256, so
 * that any change here is a new interface, and a module built from another version of this
 * file is refused when it is opened instead of being called with another layout.
 *
 * Texts and paths are UTF-16 with their length (a path's bytes may be no valid UTF-8), sizes
 * in pixels. Only src/pictures includes this. */
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifndef SLIDEMILL_DECODING_ABI
#error "SLIDEMILL_DECODING_ABI is set by the build, from this file"
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The measured formats, in the program's numbering (checked by both sides as they build). */
enum {
    SLIDEMILL_FORMAT_PNG,
    SLIDEMILL_FORMAT_JPEG,
    SLIDEMILL_FORMAT_GIF,
    SLIDEMILL_FORMAT_BMP,
    SLIDEMILL_FORMAT_TIFF,
    SLIDEMILL_FORMAT_WMF,
    SLIDEMILL_FORMAT_EMF,
    SLIDEMILL_FORMAT_HEIC,
    SLIDEMILL_FORMAT_HEIF,
    SLIDEMILL_FORMAT_AVIF,
    SLIDEMILL_FORMAT_WEBP,
    SLIDEMILL_FORMAT_COUNT
};

/* The calls the fault seam may make fail, in the program's numbering. */
enum {
    SLIDEMILL_IO_READ_PICTURE,
    SLIDEMILL_IO_READ_BACK,
    SLIDEMILL_IO_WRITE,
    SLIDEMILL_IO_SYNC,
    SLIDEMILL_IO_START_THREAD,
    SLIDEMILL_IO_ALLOCATE,
    SLIDEMILL_IO_MEASURE_PICTURE
};

/* A picture as the program measured it. */
typedef struct SlidemillPicture {
    const uint16_t* path;
    size_t pathLength;
    int format;
    int32_t widthHimetric;
    int32_t heightHimetric;
    /* EXIF orientation, 1 to 8; where the file stores it (-1: nowhere) and its byte order. */
    int orientation;
    int64_t orientationOffset;
    int orientationBigEndian;
    /* The file as measured: only that file may be decoded for this picture. */
    uint64_t device;
    uint64_t inode;
    int64_t size;
    int64_t modifiedSeconds;
    int32_t modifiedNanoseconds;
    /* The header says the picture has transparency. */
    int alpha;
} SlidemillPicture;

/* What the program gives the module once, when it opens it; called from any thread. */
typedef struct SlidemillHost {
    /* The decode budget the whole process shares: takes `bytes` (first waiting until they are
     * free when `wait` is non-zero), and gives them back. */
    void (*take)(int64_t bytes, int wait);
    void (*give)(int64_t bytes);
    /* The fault seam: the errno that the call (SLIDEMILL_IO_*) serving the zip entry `entry`
     * is to fail with, 0 for none. */
    int (*fault)(int call, const char* entry, size_t entryLength);
    /* Non-zero when the program quiets what libraries print on standard error. */
    int quiet;
} SlidemillHost;

/* One call's own: what it is for and where its results go, each called on the calling thread
 * but `cancelled`, which any thread may ask. */
typedef struct SlidemillCall {
    void* context;
    /* The zip entry the work serves, for the fault seam; empty for none. */
    const char* faultEntry;
    size_t faultEntryLength;
    /* Non-zero once the work is to stop; NULL when it never is. */
    int (*cancelled)(void* context);
    /* Memory for the `size` bytes made, the program's; NULL when it cannot be had. */
    void* (*bytes)(void* context, size_t size);
    /* The error the work ended with: its number, its text and the file it names. */
    void (*failed)(void* context, int number, const uint16_t* text, size_t textLength,
                   const uint16_t* file, size_t fileLength);
} SlidemillCall;

enum {
    /* Made: `size` bytes were written where `bytes` said (0: the file is stored as it is). */
    SLIDEMILL_MADE,
    /* `failed` was called. */
    SLIDEMILL_FAILED,
    SLIDEMILL_OUT_OF_MEMORY,
    /* `cancelled` said so. */
    SLIDEMILL_CANCELLED
};

typedef struct SlidemillMade {
    int outcome;
    /* What was made: its format (the picture's own when it is kept) and upright size. */
    int format;
    int width;
    int height;
    size_t size;
} SlidemillMade;

typedef struct SlidemillDecoding {
    /* The picture as it is to be stored, fitted into shownWidth x shownHeight (0 x 0: every
     * pixel). */
    void (*makePicture)(const SlidemillCall* call, const SlidemillPicture* picture, int shownWidth,
                        int shownHeight, SlidemillMade* made);
    /* The picture upright in sRGB, fitted into side x side: a JPEG, or a PNG with transparency. */
    void (*makeThumbnail)(const SlidemillCall* call, const SlidemillPicture* picture, int side,
                          SlidemillMade* made);
} SlidemillDecoding;

/* The module's one export. Writes the module's own ABI number to `module`; returns NULL when
 * it is not `abi`, else the module's functions, valid for the life of the process. `host` must
 * outlive the process's use of the module. */
#define SLIDEMILL_DECODING_OPEN "slidemill_decoding_open"
typedef const SlidemillDecoding* (*SlidemillDecodingOpen)(uint32_t abi, const SlidemillHost* host,
                                                          uint32_t* module);

#ifdef __cplusplus
}
#endif
