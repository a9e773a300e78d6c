// Camera makers' notes: the decoder that the EXIF walk hands the MakerNote
// tag to. It picks a maker's table and directory position from the camera
// make and lets TExifInfo::ReadMakerNoteDirectory walk the note.
#pragma once

namespace pictrim {

class TExifInfo;

class TMakerNoteDecoder {
 public:
  // TiffSource: the block comes from a TIFF-family file.
  TMakerNoteDecoder(bool TiffSource, TExifInfo& ExifInfo)
      : TiffSource_(TiffSource), ExifInfo_(ExifInfo) {}

  // Recognises the maker and walks its note; true when a note was walked.
  bool Decode();

 private:
  bool TiffSource_;
  TExifInfo& ExifInfo_;
};

}  // namespace pictrim
