#pragma once

#include <QByteArray>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

namespace slidemill::test {

// Picture files for tests, made on the spot. Every maker returns the path it wrote, or an empty
// string when it could not (a test should then fail, not skip).

QByteArray readBytes(const QString& path);
// Writes bytes to dir/name.
QString writeBytes(const QString& dir, const QString& name, const QByteArray& bytes);

// A w x h picture, pale with a red mark top left. PNG, JPEG, BMP and TIFF are written by Qt,
// "wmf" and "emf" by hand (a filled rectangle of w x h pixels at 96 per inch), any other
// format ("gif", ...) by ImageMagick's convert.
QString makePicture(const QString& dir, const QString& name, const char* format, int w, int h);

// `seconds` of a tone by the ffmpeg program, in the format the name's extension says (".mp3",
// ".m4a" in AAC, ".wav" in 16-bit PCM, ".mp4" a video with sound); the path, or empty when it
// could not be made (ffmpeg missing).
QString makeMusic(const QString& dir, const QString& name, double seconds);

// Runs ImageMagick's convert with args; true when it succeeded.
bool runConvert(const QStringList& args);
// The output of ImageMagick's identify -format format file, trimmed.
QString identify(const QString& format, const QString& file);

// A placeable WMF whose bounding box is (left, top, right, bottom) at unitsPerInch, drawing one
// rectangle over the box.
QByteArray placeableWmf(int left, int top, int right, int bottom, int unitsPerInch);

// An EMF whose header frame is frame (in 0.01 mm; right and bottom as QRect::right/bottom
// + 1, so QRect(0, 0, 2000, 1000) is 2000 x 1000), drawing one rectangle.
QByteArray emf(const QRect& frame);

// A JPEG as Qt writes it (SOI, APP0 JFIF, ...), w x h.
QByteArray jpegBytes(int w, int h);

// An APP1 EXIF segment (marker included) whose IFD0 holds a camera make and the orientation;
// with a thumbnail it also holds IFD1 pointing at it, as camera files do.
QByteArray exifSegment(int orientation, bool bigEndian, const QByteArray& thumbnail = {});
// The TIFF structure of an EXIF block: IFD0 pointing to an Exif IFD whose DateTimeOriginal is
// `taken` as stored (NUL included), with OffsetTimeOriginal when `offset` is not empty. With a
// picture, IFD0 also describes an 8 x 6 grey picture after it: a TIFF file of its own.
QByteArray exifBlockWithDate(const QByteArray& taken, const QByteArray& offset = {},
                             bool bigEndian = false, bool withPicture = false);
// An APP1 EXIF segment (marker included) around a TIFF structure.
QByteArray exifApp1(const QByteArray& tiff);
// Puts segment right after the SOI marker of jpeg.
QByteArray withSegment(const QByteArray& jpeg, const QByteArray& segment);
// Puts segment right before the first SOF/DQT/DHT segment of jpeg, that is after its APP ones.
QByteArray withSegmentAfterApps(const QByteArray& jpeg, const QByteArray& segment);

// A w x h JPEG carrying an EXIF orientation (1 to 8, or anything to write it unchecked).
QString makeOrientedJpeg(const QString& dir, const QString& name, int w, int h, int orientation,
                         bool bigEndian = false);

// The pixels to store so that a viewer applying EXIF orientation 1 to 8 shows upright.
QImage storedForOrientation(const QImage& upright, int orientation);
// A JPEG shown as w x h with the red mark in its top-left corner once its orientation is
// applied: the pixels are stored turned or flipped as a camera would have stored them.
QString makeUprightJpeg(const QString& dir, const QString& name, int w, int h, int orientation,
                        bool bigEndian = false);

// HEIF files written by libheif's encoders from `stored`'s pixels and colour profile, with irot
// and imir properties saying `orientation` (1 to 8) as libheif writes them: the size property
// gives the picture as shown and comes after them. HEVC makes a HEIC, AV1 an AVIF; with alpha the
// picture's alpha channel goes into an auxiliary plane. Empty when libheif cannot encode.
enum class HeifCodec { Hevc, Av1 };
QByteArray heifBytes(const QImage& stored, int orientation = 1, HeifCodec codec = HeifCodec::Hevc,
                     bool alpha = false);
// A HEIF file as heifBytes writes it, upright, with an Exif item holding the TIFF structure
// `tiff`, as phones write their photos.
QByteArray heifWithExif(const QImage& stored, const QByteArray& tiff,
                        HeifCodec codec = HeifCodec::Hevc);
// A HEIC of `stored` whose thumbnail item, `side` pixels on its longer side, is made from
// `thumbnail`, as heif-enc -t makes it.
QByteArray heifWithThumbnail(const QImage& stored, const QImage& thumbnail, int side);
// A HEIC of one colour over `size`, encoded as fast as x265 goes: a few kilobytes that take
// seconds to decode.
QByteArray flatHeic(const QSize& size);
// The same file laid out as cameras write it: the size property gives the picture as stored
// and comes before the rotation and mirror.
QByteArray withSizeFirst(const QByteArray& heif);
// The same file under another major brand ("mif1": a HEIF of no particular codec).
QByteArray withMajorBrand(const QByteArray& heif, const char* brand);

// The same file with n `auxl` references from an item to its primary picture and n more
// associations, each for an item of no properties: a valid file whose tables are long. With
// auxiliaryProperties (up to 255), the referring item lists a property that many times.
QByteArray withAuxiliaryFlood(const QByteArray& heif, int n, int auxiliaryProperties = 0);

// The same file whose ispe says `size`, in its place among the properties.
QByteArray withIspe(const QByteArray& heif, const QSize& size);
// A property of the primary picture added to the file, at `position` in its list (-1: last).
QByteArray withProperty(const QByteArray& heif, const QByteArray& box, int position = -1);
// The boxes of a size property, and of a clean aperture of whole pixels moved off the centre.
QByteArray ispeBox(const QSize& size);
QByteArray clapBox(const QSize& aperture, const QPoint& offset = {});

// A 4 x 3 GIF of three frames, each with a graphic control extension and a colour table of its
// own, a loop extension before them and a comment before the second; where its blocks start.
struct GifParts {
    QByteArray bytes;
    qsizetype comment = 0;
    qsizetype secondControl = 0, secondImage = 0, secondData = 0;
    qsizetype thirdControl = 0, thirdImage = 0, thirdData = 0;
    qsizetype trailer = 0;
};
GifParts gifOfThreeFrames();

// A JPEG header followed by n scans of a byte each and no EOI: a picture cut short whose walk
// meets many scans.
QByteArray jpegOfManyScans(int n);
// A grey TIFF of one row per strip, whose strip offsets and byte counts lie `gap` bytes apart.
QByteArray tiffWithTablesApart(int strips, int gap);
// A grey TIFF of side x side pixels in deflate tiles of tile x tile, every one the same tile of
// black: a small file that decodes for seconds.
QByteArray tiledTiff(int side, int tile);

// A WebP as Qt writes it: lossy (VP8, or VP8X with ALPH when the picture has alpha), or
// lossless (VP8L) at quality 100.
QByteArray webpBytes(const QImage& image, int quality = 90);
// The same in the extended form (VP8X) with an EXIF chunk saying `orientation`.
QByteArray withWebpExif(const QByteArray& webp, const QSize& size, int orientation);
// The same with an EXIF chunk holding the TIFF structure `tiff`.
QByteArray withWebpExifBlock(const QByteArray& webp, const QSize& size, const QByteArray& tiff);

// `upright` stored as a file of `format` ("jpeg", "heic", "heif", "avif", "webp"; "tiff" only
// upright) whose orientation metadata turns it upright again: what a phone or camera writes.
QString writeTurned(const QString& dir, const QString& name, const QImage& upright,
                    const char* format, int orientation);

// Root reads every file and folder: while one of these lives, the process acts as nobody, who
// may look into `folder` and, through it, into what the test's files let others read.
class AsNobody {
public:
    explicit AsNobody(const QString& folder);
    ~AsNobody();
    AsNobody(const AsNobody&) = delete;
    AsNobody& operator=(const AsNobody&) = delete;

private:
    bool root_;
};

} // namespace slidemill::test
