// The decoding module's side of its interface (decodingabi.h): what it exports, and how the
// program's calls become ours and our results plain structs again.
//
// The module holds its own copy of what it shares with the program (the header readers,
// ByteSource, the sizes, the errors, the fault seam, the message handler's quiet), linked in
// statically and hidden, so that it uses nothing of the program but what it is given here.
// Three pieces of state must still be the program's and are reached through its host: the
// decode budget (takeDecodeBudget, defined here), the fault seam's hook (set when the module
// is opened) and whether standard error is quieted. Nothing thrown leaves a call.
#include "core/faults.h"
#include "core/messagehandler.h"
#include "core/runtimeerror.h"
#include "pictures/budget.h"
#include "pictures/decodingabi.h"
#include "pictures/libraries.h"

#include <QByteArray>
#include <QString>
#include <cstring>
#include <new>

namespace slidemill::pictures {

namespace {

const SlidemillHost* g_host = nullptr;

int faultFromHost(IoCall call, const QByteArray& entry) {
    return g_host->fault(int(call), entry.constData(), std::size_t(entry.size()));
}

Picture pictureOf(const SlidemillPicture& p) {
    Picture picture;
    picture.path =
        QString::fromUtf16(reinterpret_cast<const char16_t*>(p.path), qsizetype(p.pathLength));
    picture.format = PictureFormat(p.format);
    picture.widthHimetric = p.widthHimetric;
    picture.heightHimetric = p.heightHimetric;
    picture.orientation = p.orientation;
    picture.orientationOffset = p.orientationOffset;
    picture.orientationBigEndian = p.orientationBigEndian != 0;
    picture.file = {p.device, p.inode, p.size, p.modifiedSeconds, p.modifiedNanoseconds};
    picture.alpha = p.alpha != 0;
    return picture;
}

// Runs `work` (which returns what it made: its bytes, format and size) and tells its outcome.
template <typename Work>
void answer(const SlidemillCall& call, const SlidemillPicture& p, SlidemillMade& made, Work work) {
    made = {};
    const FaultEntry entry(QByteArray(call.faultEntry, qsizetype(call.faultEntryLength)));
    const Picture picture = pictureOf(p);
    try {
        const auto [bytes, format, size] = work(picture);
        made.format = int(format);
        made.width = size.width();
        made.height = size.height();
        made.size = std::size_t(bytes.size());
        if (made.size > 0) {
            void* into = call.bytes(call.context, made.size);
            if (!into)
                throw std::bad_alloc();
            std::memcpy(into, bytes.constData(), made.size);
        }
        made.outcome = SLIDEMILL_MADE;
    } catch (const ThumbnailCancelled&) {
        made.outcome = SLIDEMILL_CANCELLED;
    } catch (const std::bad_alloc&) {
        made.outcome = SLIDEMILL_OUT_OF_MEMORY;
    } catch (...) {
        const RuntimeError e = RuntimeError::from(std::current_exception(), picture.path);
        made.outcome = SLIDEMILL_FAILED;
        call.failed(call.context, e.number(), reinterpret_cast<const uint16_t*>(e.text().utf16()),
                    std::size_t(e.text().size()),
                    reinterpret_cast<const uint16_t*>(e.file().utf16()),
                    std::size_t(e.file().size()));
    }
}

struct Made {
    QByteArray bytes;
    PictureFormat format;
    QSize size;
};

void makePictureCall(const SlidemillCall* call, const SlidemillPicture* picture, int shownWidth,
                     int shownHeight, SlidemillMade* made) {
    answer(*call, *picture, *made, [&](const Picture& p) {
        MadePicture m = makeDecodedPicture(p, QSize(shownWidth, shownHeight));
        return Made{std::move(m.bytes), m.format, m.pixels};
    });
}

void makeThumbnailCall(const SlidemillCall* call, const SlidemillPicture* picture, int side,
                       SlidemillMade* made) {
    answer(*call, *picture, *made, [&](const Picture& p) {
        std::function<bool()> cancelled;
        if (call->cancelled)
            cancelled = [call] { return call->cancelled(call->context) != 0; };
        Thumbnail t = makeDecodedThumbnail(p, side, cancelled);
        const PictureFormat format =
            t.bytes.startsWith("\x89PNG") ? PictureFormat::Png : PictureFormat::Jpeg;
        return Made{std::move(t.bytes), format, t.size};
    });
}

constexpr SlidemillDecoding kDecoding{makePictureCall, makeThumbnailCall};

} // namespace

void takeDecodeBudget(qint64 bytes, bool wait) {
    g_host->take(bytes, wait ? 1 : 0);
}

void giveDecodeBudget(qint64 bytes) {
    g_host->give(bytes);
}

} // namespace slidemill::pictures

extern "C" __attribute__((visibility("default"))) const SlidemillDecoding*
slidemill_decoding_open(uint32_t abi, const SlidemillHost* host, uint32_t* module) {
    using namespace slidemill;
    *module = SLIDEMILL_DECODING_ABI;
    if (abi != SLIDEMILL_DECODING_ABI)
        return nullptr;
    pictures::g_host = host;
    setFaultHook(pictures::faultFromHost);
    setStandardErrorQuieted(host->quiet != 0);
    return &pictures::kDecoding;
}
