#include "tests/common/HeifPictures.h"

#include <libheif/heif.h>

#include <filesystem>
#include <stdexcept>

namespace pictrim::test {
namespace {

void Check(const heif_error& Error, const char* Step) {
  if (Error.code != heif_error_Ok) {
    throw std::runtime_error(std::string(Step) + ": " + (Error.message ? Error.message : ""));
  }
}

void Put16(std::vector<uint8_t>& Out, size_t At, uint16_t Value) {
  Out[At] = static_cast<uint8_t>(Value);
  Out[At + 1] = static_cast<uint8_t>(Value >> 8);
}

void Put32(std::vector<uint8_t>& Out, size_t At, uint32_t Value) {
  for (int i = 0; i < 4; ++i) Out[At + i] = static_cast<uint8_t>(Value >> (8 * i));
}

void Put32BigEndian(std::vector<uint8_t>& Out, size_t At, uint32_t Value) {
  for (int i = 0; i < 4; ++i) Out[At + i] = static_cast<uint8_t>(Value >> (24 - 8 * i));
}

// One directory entry of a little-endian TIFF block: a value of up to four
// bytes stands in the entry, a longer one behind the directories.
struct TEntry {
  uint16_t Tag;
  uint16_t Type;
  uint32_t Count;
  std::vector<uint8_t> Value;
};

TEntry Ascii(uint16_t Tag, const std::string& Text) {
  std::vector<uint8_t> value(Text.begin(), Text.end());
  value.push_back(0);
  return {Tag, 2, static_cast<uint32_t>(value.size()), value};
}

TEntry Short(uint16_t Tag, uint16_t Value) {
  return {Tag, 3, 1, {static_cast<uint8_t>(Value), static_cast<uint8_t>(Value >> 8), 0, 0}};
}

TEntry Long(uint16_t Tag, uint32_t Value) {
  std::vector<uint8_t> value(4);
  Put32(value, 0, Value);
  return {Tag, 4, 1, value};
}

// Appends a directory at the end of Out; values longer than four bytes
// follow it. Returns the position of each entry's value field.
std::vector<size_t> AppendDirectory(std::vector<uint8_t>& Out, const std::vector<TEntry>& Entries) {
  const size_t start = Out.size();
  Out.resize(start + 2 + 12 * Entries.size() + 4, 0);
  Put16(Out, start, static_cast<uint16_t>(Entries.size()));
  std::vector<size_t> fields;
  for (size_t i = 0; i < Entries.size(); ++i) {
    const TEntry& e = Entries[i];
    const size_t at = start + 2 + 12 * i;
    Put16(Out, at, e.Tag);
    Put16(Out, at + 2, e.Type);
    Put32(Out, at + 4, e.Count);
    fields.push_back(at + 8);
    if (e.Value.size() <= 4) {
      std::copy(e.Value.begin(), e.Value.end(), Out.begin() + static_cast<std::ptrdiff_t>(at + 8));
    } else {
      Put32(Out, at + 8, static_cast<uint32_t>(Out.size()));
      Out.insert(Out.end(), e.Value.begin(), e.Value.end());
      if (Out.size() % 2 != 0) Out.push_back(0);
    }
  }
  return fields;
}

}  // namespace

void WriteHeif(const std::string& Path, const QImage& Stored, const THeifOptions& Options) {
  std::filesystem::create_directories(std::filesystem::path(Path).parent_path());
  const bool alpha = Stored.hasAlphaChannel();
  const QImage pixels =
      Stored.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  heif_context* context = heif_context_alloc();
  heif_encoder* encoder = nullptr;
  heif_image* image = nullptr;
  heif_encoding_options* options = heif_encoding_options_alloc();
  try {
    Check(heif_context_get_encoder_for_format(
              context, Options.Avif ? heif_compression_AV1 : heif_compression_HEVC, &encoder),
          "encoder");
    Check(heif_encoder_set_lossy_quality(encoder, Options.Quality), "quality");
    const bool deep = Options.BitDepth > 8 && !alpha;
    const heif_chroma chroma = deep    ? heif_chroma_interleaved_RRGGBB_LE
                               : alpha ? heif_chroma_interleaved_RGBA
                                       : heif_chroma_interleaved_RGB;
    Check(heif_image_create(pixels.width(), pixels.height(), heif_colorspace_RGB, chroma, &image),
          "image");
    Check(heif_image_add_plane(image, heif_channel_interleaved, pixels.width(), pixels.height(),
                               deep ? Options.BitDepth : 8),
          "plane");
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    const size_t line = static_cast<size_t>(pixels.width()) * (alpha ? 4 : 3);
    for (int y = 0; y < pixels.height(); ++y) {
      const uchar* in = pixels.constScanLine(y);
      uint8_t* out = plane + static_cast<size_t>(y) * stride;
      if (!deep) {
        std::copy_n(in, line, out);
        continue;
      }
      for (size_t i = 0; i < line; ++i) {  // each sample as 16 bits, little-endian
        const unsigned value = unsigned{in[i]} << (Options.BitDepth - 8);
        out[2 * i] = static_cast<uint8_t>(value);
        out[2 * i + 1] = static_cast<uint8_t>(value >> 8);
      }
    }
    if (!Options.ColourProfile.empty()) {
      Check(heif_image_set_raw_color_profile(image, "prof", Options.ColourProfile.data(),
                                             Options.ColourProfile.size()),
            "profile");
    }
    options->image_orientation = static_cast<heif_orientation>(Options.Orientation);
    heif_image_handle* handle = nullptr;
    Check(heif_context_encode_image(context, image, encoder, options, &handle), "encode");
    if (!Options.Exif.empty()) {
      Check(heif_context_add_exif_metadata(context, handle, Options.Exif.data(),
                                           static_cast<int>(Options.Exif.size())),
            "exif");
    }
    if (!Options.Xmp.empty()) {
      Check(heif_context_add_XMP_metadata(context, handle, Options.Xmp.data(),
                                          static_cast<int>(Options.Xmp.size())),
            "xmp");
    }
    heif_image_handle_release(handle);
    Check(heif_context_write_to_file(context, Path.c_str()), "write");
  } catch (...) {
    heif_encoding_options_free(options);
    if (image != nullptr) heif_image_release(image);
    if (encoder != nullptr) heif_encoder_release(encoder);
    heif_context_free(context);
    throw;
  }
  heif_encoding_options_free(options);
  heif_image_release(image);
  heif_encoder_release(encoder);
  heif_context_free(context);
}

std::vector<uint8_t> PhoneExifBlock(const TPhoneExif& Exif) {
  std::vector<uint8_t> block = {'I', 'I', 42, 0, 8, 0, 0, 0};
  std::vector<TEntry> first = {Ascii(0x010F, Exif.Make), Ascii(0x0110, Exif.Model),
                               Short(0x0112, static_cast<uint16_t>(Exif.Orientation)),
                               Ascii(0x0132, Exif.DateTaken), Long(0x8769, 0)};
  const std::vector<size_t> fields = AppendDirectory(block, first);
  Put32(block, fields.back(), static_cast<uint32_t>(block.size()));
  std::vector<TEntry> exif = {Ascii(0x9003, Exif.DateTaken), Ascii(0x9004, Exif.DateTaken)};
  if (Exif.Width > 0 && Exif.Height > 0) {
    exif.push_back(Long(0xA002, Exif.Width));
    exif.push_back(Long(0xA003, Exif.Height));
  }
  AppendDirectory(block, exif);
  return block;
}

std::vector<uint8_t> SmallColourProfile(const std::string& Description) {
  std::vector<uint8_t> profile(144, 0);
  Put32BigEndian(profile, 8, 0x02100000);  // version 2.1
  const std::string header[] = {"mntr", "RGB ", "XYZ "};
  for (int i = 0; i < 3; ++i) std::copy_n(header[i].begin(), 4, profile.begin() + 12 + 4 * i);
  std::copy_n("acsp", 4, profile.begin() + 36);
  Put32BigEndian(profile, 128, 1);  // one tag
  std::copy_n("desc", 4, profile.begin() + 132);
  Put32BigEndian(profile, 136, 144);
  // The text description type: signature, reserved, count with the zero, text.
  std::vector<uint8_t> tag = {'d', 'e', 's', 'c', 0, 0, 0, 0, 0, 0, 0, 0};
  Put32BigEndian(tag, 8, static_cast<uint32_t>(Description.size() + 1));
  tag.insert(tag.end(), Description.begin(), Description.end());
  tag.push_back(0);
  tag.resize(tag.size() + 79, 0);  // the Unicode and Macintosh parts, empty
  Put32BigEndian(profile, 140, static_cast<uint32_t>(tag.size()));
  profile.insert(profile.end(), tag.begin(), tag.end());
  while (profile.size() % 4 != 0) profile.push_back(0);
  Put32BigEndian(profile, 0, static_cast<uint32_t>(profile.size()));
  return profile;
}

std::string SmallXmpPacket(uint32_t Width, uint32_t Height) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
         "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
         "xmlns:exif=\"http://ns.adobe.com/exif/1.0/\" xmp:CreatorTool=\"Pictrim test\" "
         "exif:PixelXDimension=\"" +
         std::to_string(Width) + "\" exif:PixelYDimension=\"" + std::to_string(Height) +
         "\"/></rdf:RDF></x:xmpmeta>\n" + std::string(200, ' ') + "\n<?xpacket end=\"w\"?>";
}

}  // namespace pictrim::test
