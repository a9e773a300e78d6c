#include "metadata/MakerNotes.h"

#include "metadata/Exif.h"

namespace pictrim {

bool TMakerNoteDecoder::Decode() {
  // No maker's layout is known to this decoder yet: every note stays
  // undecoded (its bytes and position remain in the TExifInfo).
  static_cast<void>(TiffSource_);
  static_cast<void>(ExifInfo_);
  return false;
}

}  // namespace pictrim
