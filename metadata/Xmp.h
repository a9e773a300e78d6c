// XMP packets as JPEG files carry them in APP1 segments: the packet behind
// "http://ns.adobe.com/xap/1.0/" and a zero byte; the part of a packet too
// large for one segment (the extension) behind
// "http://ns.adobe.com/xmp/extension/", a zero byte, the extension's 32-digit
// GUID, its full length and the offset of the piece in this segment (both
// 32-bit big-endian). The main packet names the GUID of its extension.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "metadata/Exif.h"

namespace pictrim {

// Extension segments kept per file.
inline constexpr size_t MaxExtendedXmpSegments = 256;

// Whether a segment's Data (length bytes first) holds an XMP packet or a
// piece of an extension.
bool IsXmpSegment(const TBytes& Data);
bool IsExtendedXmpSegment(const TBytes& Data);
// The APP1 segment that carries Packet; none when it is empty or longer
// than one segment holds.
std::optional<tSection> XmpSegmentOf(const TBytes& Packet);
// Length in bytes of the packet in a main XMP segment's Data.
size_t XmpPacketLength(const TBytes& Data);
// Length of the extension an extension segment belongs to.
size_t ExtendedXmpLength(const TBytes& Data);

// The segments, in their order, of the extension whose GUID the packet in
// Main names, when they cover the whole extension once; else none.
std::vector<tSection> CompleteExtendedXmp(const TBytes& Main, const std::vector<tSection>& Segments);

// A main XMP segment's Data with the stored pixel size (the attributes or
// elements exif:PixelXDimension, exif:PixelYDimension, tiff:ImageWidth and
// tiff:ImageLength holding a plain number) set to Width and Height. The
// packet is not rebuilt: a change in the numbers' length is made up in the
// padding in front of the closing "<?xpacket end" so that the segment keeps
// its length. When the padding is too short, Data comes back unchanged.
TBytes XmpWithDimensions(const TBytes& Data, int64_t Width, int64_t Height);

}  // namespace pictrim
