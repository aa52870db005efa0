#pragma once

#include "slides/bytesource.h"

namespace slidemill {

// Whether a picture's data runs to its end, for a file whose header is whole but whose data
// was cut off (an interrupted copy from a camera card): each walks the format's structure from
// the start, reading only what the walk needs. The walk says "cut short" only where it runs
// into the end of the file before the picture that is shown has all its data; what follows
// that picture, and data the walk does not understand, is left to the picture's readers.
// Where LibreOffice draws nothing of a file cut after that picture (a GIF cut in a later frame's
// header, a bitmap without its last row), the walk says "cut short" too. (LibreOffice shows a
// GIF without its trailer, a GIF cut in a later frame's data and a PNG without IEND whose image
// data is complete as whole pictures.)

// The chunks run to IEND, or what there is of them holds the whole image stream.
bool pngIsWhole(const ByteSource& bytes);
// The first picture's data blocks run to their end, and the file does not end where
// LibreOffice's reader gives up on the pictures after it: inside a later picture's descriptor,
// colour table or code size, or inside an extension it reads (see afterExtension).
bool gifIsWhole(const ByteSource& bytes);
// Every row of pixels is there (or, run-length coded, every run up to the end of the picture):
// LibreOffice draws a bitmap that lacks even its last byte as nothing.
bool bmpIsWhole(const ByteSource& bytes);
// The picture that is shown, the file's first, runs to its EOI marker: nothing short of
// decoding tells a scan that was cut from one that lacks only its EOI. What follows it (the
// other pictures of an MPO, a camera's trailer) is not shown and not judged.
bool jpegIsWhole(const ByteSource& bytes);
// The strips or tiles of the first page (IFD0) lie inside the file.
bool tiffIsWhole(const ByteSource& bytes);

} // namespace slidemill
