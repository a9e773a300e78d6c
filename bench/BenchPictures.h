// Camera-sized test pictures for the benchmarks: natural-looking content
// (sky gradient, textured ground, a few shapes, sensor grain) encoded as
// JPEG at camera quality.
#pragma once

#include <string>
#include <vector>

namespace pictrim::bench {

struct TBenchPicture {
  int Width;
  int Height;
};

// The mix of the benchmark tree: 12-megapixel and 24-megapixel frames,
// landscape and portrait.
std::vector<TBenchPicture> CameraMix(int Count);

// Writes Count camera-sized JPEGs into Folder (created when missing), unless
// they are there already from an earlier run. Returns the paths.
std::vector<std::string> MakeCameraTree(const std::string& Folder, int Count);

// Writes Count photographs of 2400 x 1600 (landscape and portrait) into
// Folder in turn as JPEG, PNG, TIFF, BMP, GIF and palette PNG, unless already
// there: the formats the image library decodes. Returns the paths.
std::vector<std::string> MakeMixedTree(const std::string& Folder, int Count);

// Writes one photograph per size into Folder with varied content (seed and
// scene change from picture to picture), unless already there.
std::vector<std::string> MakePhotoTree(const std::string& Folder,
                                       const std::vector<TBenchPicture>& Sizes);

}  // namespace pictrim::bench
