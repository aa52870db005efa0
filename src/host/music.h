#pragma once

#include "core/fileidentity.h"

#include <QString>
#include <cstdint>

namespace slidemill {

// The sound formats a deck carries as their files hold them.
enum class MusicFormat { Mp3, M4a, Wav };

// One music file as it was measured: only that file may be stored for it.
struct MusicFile {
    QString path;
    FileIdentity file;
    MusicFormat format = MusicFormat::Mp3;
    // As long as its sound plays, from its first packet to the end of its last.
    std::int64_t durationMs = 0;
};

// Reads the file through (its packets, not its sound) to tell its format and length. The file
// is not trusted: it is read through its open descriptor only, by the MP3, MP4 and WAV readers
// alone, with nothing else ever opened for it (no playlist, no list of files, no reference to
// another file), and the first look at it is bounded. Throws RuntimeError 481 naming the path
// when it is not one MP3, AAC or PCM sound alone (a video, a picture, text, a playlist), is cut
// short or damaged; 53 or 75 when it cannot be read.
MusicFile measureMusic(const QString& path);

// The part's extension and content type in a deck.
const char* musicExtension(MusicFormat format);
const char* musicContentType(MusicFormat format);

} // namespace slidemill
