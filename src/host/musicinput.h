#pragma once

#include "core/fileidentity.h"

#include <QString>
#include <memory>

struct AVFormatContext;
struct AVStream;

namespace slidemill {

// A music file opened for FFmpeg's readers as an untrusted file is: read through its open
// descriptor only, by the MP3, MP4 and WAV readers alone, nothing else ever opened for it (no
// playlist, no list of files, no reference to another file), the first look at it bounded. It
// holds one sound and no video (a cover picture goes with the sound). Throws RuntimeError 481
// naming the path when it is no such file; 53 or 75 when it cannot be read.
class MusicInput {
public:
    explicit MusicInput(const QString& path);
    ~MusicInput();
    MusicInput(const MusicInput&) = delete;
    MusicInput& operator=(const MusicInput&) = delete;

    const QString& path() const;
    // The file as it was opened, and its descriptor.
    const FileIdentity& file() const;
    int fd() const;
    qint64 size() const;

    AVFormatContext& context();
    AVStream& audio();
    int audioIndex() const;

    // An FFmpeg error met while reading it: the read error of the file where reading failed,
    // else the file is damaged.
    [[noreturn]] void failed(int avError) const;

private:
    struct State;
    std::unique_ptr<State> d_;
};

// Error 481 naming the file: "not music Slidemill can store: <cause>".
[[noreturn]] void refuseMusic(const QString& path, const QString& cause);
QString avErrorText(int error);

} // namespace slidemill
