// Hostile JPEG files built at run time: frames that claim far more pixels
// than their data holds, progressive files with absurd numbers of scans,
// and camera photos with damaged scan data.
#pragma once

#include <cstdint>
#include <string>

namespace pictrim::test {

// A JPEG whose frame claims Width x Height pixels (three components, all at
// full resolution unless Subsampled, which halves the colour in both
// directions) but whose scans hold two bytes each: Scans DC-only scans when
// Progressive, else one baseline scan. One scan gives about 150 bytes.
std::string ClaimingJpeg(uint16_t Width, uint16_t Height, int Scans, bool Subsampled = false,
                         bool Progressive = true);

// The JPEG with the two bytes in the middle of its first scan's data set to
// FF 4A, a marker no decoder knows.
std::string WithDamagedScan(const std::string& Jpeg);

// The offset of the first byte of the first scan's data (behind the SOS
// segment); npos when there is none.
size_t FirstScanData(const std::string& Jpeg);

}  // namespace pictrim::test
