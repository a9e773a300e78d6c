// Windows metafiles rendered into a screen bitmap of the metafile's own size
// (96 dots per inch), through libwmf.
#pragma once

#include <QImage>

#include <string>

namespace pictrim {

// The metafile drawn at (0, 0) onto a white 24-bit bitmap of its own size.
// Raises EInOutError when the file cannot be read or is not a metafile.
QImage RenderMetafile(const std::string& FileName);

}  // namespace pictrim
