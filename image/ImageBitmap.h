// The image container: one picture held as a FreeImage bitmap. The batches
// never touch the image library directly; they load, measure, convert,
// rescale and save through this container, and copy it to and from a screen
// bitmap (QImage) for drawing text and for previews.
#pragma once

#include <FreeImage.h>
#include <QImage>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "image/IsolatedDecode.h"
#include "util/MemoryBudget.h"

namespace pictrim {

class TImageObject {
 public:
  virtual ~TImageObject() = default;
  virtual bool IsValid() const { return false; }
};

class TImageBitmap : public TImageObject {
 public:
  TImageBitmap() = default;
  ~TImageBitmap() override;
  TImageBitmap(const TImageBitmap&) = delete;
  TImageBitmap& operator=(const TImageBitmap&) = delete;

  bool IsValid() const override { return Handle_ != nullptr; }
  // Releases the picture; nothing when already empty.
  virtual void Clear();

  // Loads a file, the format detected from its first bytes (the file is not
  // read further for that), else from its name. False when the format is
  // unknown (the picture held so far stays) or the library could not decode
  // it (the container is then empty, and DecodeFailed() tells the two
  // apart). Flags go to the library's loader. HEIC, HEIF and AVIF files are
  // decoded by libheif: the primary picture, turned and mirrored as it is
  // shown, with its metadata blocks (DecodedMetadata()). The libraries decode
  // in a separate process under time, memory and pixel limits, kept by the
  // container from one load to the next; a decoder that crashes, hangs or
  // answers nonsense is a failed decode. A decode ended by the cancel flag is
  // no failed decode: the container is then empty and Load returns false.
  bool Load(const std::string& FileName, int Flags = 0);
  // Load from the file's bytes already in memory; FileName serves only to
  // detect the format by its extension.
  bool LoadFromBytes(const std::vector<uint8_t>& Bytes, const std::string& FileName, int Flags = 0);
  // Lets the following loads give a smaller picture than decoded: Shrink
  // tells, from the size the file's header gives, the whole factor by which
  // the decoder may shrink it, for a picture about to be rescaled to a
  // fraction of that size. None (as at first): pictures come whole.
  void SetLoadShrink(TShrinkFn Shrink) { Shrink_ = std::move(Shrink); }
  // How many pictures of the loaded size the caller holds at once while it
  // works on one (the picture, its rescaled and converted copies): admitted
  // against the picture budget with each load (1 at first).
  void SetLoadCopies(uint32_t Copies) { Copies_ = Copies; }
  // The size of the last picture loaded, as decoded before it was shrunk
  // (0 x 0 when the load gave none).
  uint32_t LoadedWidth() const { return LoadedWidth_; }
  uint32_t LoadedHeight() const { return LoadedHeight_; }
  // The whole factor the decoder shrank the picture held by (1: it came whole).
  uint32_t LoadShrink() const { return LoadShrink_; }
  // True when the last Load recognised the format but could not decode the file.
  bool DecodeFailed() const { return DecodeFailed_; }
  // True when the cancel flag ended the last decode before it gave a picture.
  bool DecodeCancelled() const { return DecodeCancelled_; }
  // Why the last decode failed, in a few words (empty after a success).
  const std::string& DecodeFailure() const { return DecodeFailure_; }
  // The metadata blocks that came with the picture held (HEIF files keep
  // them beside the pixels); empty for other files.
  const TPictureMetadata& DecodedMetadata() const { return Metadata_; }
  // Why the picture of the last load may be incomplete (a damaged file the
  // library still read in part); empty when nothing says so.
  const std::string& DecodeDamage() const { return DecodeDamage_; }
  // Saves in the format of the file name's extension; false when the picture
  // cannot be saved in that format or the library failed. The library's own
  // copy of the source's metadata is never written: metadata is carried by
  // the metadata module.
  // The file is written whole or not at all.
  bool Save(const std::string& FileName, int Flags = 0);
  // Encodes the picture in Format into Bytes (as Save would write it); false
  // when it cannot be saved in that format.
  bool SaveToBytes(FREE_IMAGE_FORMAT Format, std::vector<uint8_t>& Bytes, int Flags = 0);
  bool CanSave(FREE_IMAGE_FORMAT Format) const;

  uint32_t GetWidth() const;
  uint32_t GetHeight() const;
  uint32_t GetBitsPerPixel() const;

  bool ConvertTo24Bits();
  bool ConvertToGreyscale();
  // Makes the picture one that JPEG can hold (8-bit grey or 24-bit colour):
  // other depths and pixel types become 24 bits, transparent areas are laid
  // onto white. True when the picture can then be saved as JPEG.
  bool ConvertForJpeg();
  // Rescales in place; pictures below 8 bits become 24-bit first when their
  // palette holds colours, else greyscale, and 16-bit ones 24-bit. False
  // (picture unchanged) when the library refuses.
  bool Rescale(uint32_t NewWidth, uint32_t NewHeight, FREE_IMAGE_FILTER Filter);
  // Rescales in place as the jobs do: with the box filter (the library's
  // for a whole picture; by area for one the decoder shrank, so that the
  // two steps make one rescale of the whole picture) or, Sharp, with the
  // three-lobe Lanczos filter. False (picture unchanged) as Rescale.
  bool RescaleFor(uint32_t NewWidth, uint32_t NewHeight, bool Sharp);
  // Takes ownership of Handle, releasing the held picture; false for null.
  virtual bool Replace(FIBITMAP* Handle);
  // A deep copy of Other's picture; an empty Other empties this container.
  void Assign(const TImageBitmap* Other);
  // Change notification; nothing listens in this program.
  virtual void Change() {}

  FIBITMAP* Handle() const { return Handle_; }

 private:
  // Replaces the held picture with the decoded file (Bytes, else the file at
  // FileName; Head its first bytes) when its format is recognised.
  bool TakeLoaded(const uint8_t* Head, size_t HeadSize, const std::string& FileName, int Flags,
                  const std::vector<uint8_t>* Bytes);

  FIBITMAP* Handle_ = nullptr;
  bool DecodeFailed_ = false;
  bool DecodeCancelled_ = false;
  std::string DecodeFailure_;
  std::string DecodeDamage_;
  TPictureMetadata Metadata_;
  TShrinkFn Shrink_;
  uint32_t Copies_ = 1;
  uint32_t LoadedWidth_ = 0;
  uint32_t LoadedHeight_ = 0;
  uint32_t LoadShrink_ = 1;
  TMemoryLease Lease_;                        // the loaded picture's share of the picture budget
  std::unique_ptr<TDecoderSession> Decoder_;  // started by the first load
};

class TDisplayBitmap : public TImageBitmap {
 public:
  // Bitmap := the picture as a screen bitmap (a null image when empty).
  // 0; -1 when Bitmap is missing.
  int CopyToBitmap(QImage* Bitmap) const;
  // The picture := the screen bitmap's pixels. 0; -1 when Bitmap is missing
  // or the copy failed.
  int CopyFromBitmap(const QImage* Bitmap);
};

// Routes the image library's messages nowhere (they are not for the user);
// called once before the first load.
void InitImageLibrary();

}  // namespace pictrim
