// Pictures full of fine detail, made at run time, on which a rescale shows
// what it keeps and what it smudges: a zone plate, fine stripes at many
// angles, and a photograph-like scene of wood grain, leaves and fine
// texture. Shared by the quality tests and the quality benchmark.
#pragma once

#include <QImage>

#include <string>

namespace pictrim::detail {

enum class TDetailKind { ZonePlate, Stripes, Photo };

// A Width x Height picture of the kind (24-bit RGB), the same for the same
// Seed.
QImage MakeDetailedPicture(TDetailKind Kind, int Width, int Height, unsigned Seed = 1);

// "zone", "stripes" or "photo".
std::string DetailKindName(TDetailKind Kind);

}  // namespace pictrim::detail
