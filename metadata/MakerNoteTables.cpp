// The makers' tag tables, the fields of Canon's packed values and the maker
// registry: which table and directory position serve which camera make.
// Rows named "Skip" mark tags that the walk passes over.
#include "metadata/MakerNotes.h"

namespace pictrim {

extern constexpr std::array<TTagRow, 11> NikonATags{{
    {2, "FamilyID", "FamilyID"},
    {3, "Quality", "Quality",
     "1:Vga Basic,2:Vga Normal,3:Vga Fine,4:SXGA Basic,5:SXGA Normal,6:SXGA Fine"
     "10:2 Mpixel Basic,11:2 Mpixel Normal,12:2 Mpixel Fine"},
    {4, "ColorMode", "ColorMode", "1:Color,2:Monochrome"},
    {5, "ImageAdjustment", "ImageAdjustment",
     "0:Normal,1:Bright+,2:Bright-,3:Contrast+,4:Contrast-"},
    {6, "ISOSpeed", "ISOSpeed", "0:ISO80,2:ISO160,4:ISO320,5:ISO100"},
    {7, "WhiteBalance", "WhiteBalance",
     "0:Auto,1:Preset,2:Daylight,3:Incandescense,4:Fluorescence,5:Cloudy,6:SpeedLight"},
    {8, "Focus", "Focus"},
    {9, "Skip", "Skip"},
    {10, "DigitalZoom", "DigitalZoom"},
    {11, "Converter", "Converter", "0:Not used,1:Used"},
    {3840, "Skip", "Skip"},
}};

extern constexpr std::array<TTagRow, 28> NikonBTags{{
    {1, "FamilyID", "Family ID"},
    {2, "ISOSpeed", "ISO Speed"},
    {3, "ColorMode", "Color Mode"},
    {4, "Quality", "Quality"},
    {5, "WhiteBalance", "White Balance"},
    {6, "ImageSharpening", "Image Sharpening"},
    {7, "FocusMode", "Focus Mode"},
    {8, "FlashSetting", "Flash Setting"},
    {9, "AutoFlashMode", "Auto Flash Mode"},
    {10, "Skip", "Skip"},
    {11, "WhiteBiasValue", "White Bias Value"},
    {15, "DigitalZoom", "Digital Zoom"},
    {16, "Skip", "Skip"},
    {17, "Skip", "Skip"},
    {128, "ImageAdjustment", "Image Adjustment"},
    {129, "ImageAdjustment", "Image Adjustment"},
    {130, "Adapter", "Adapter"},
    {132, "LensInformation", "Lens information", "", "", NikonLensRange},
    {133, "ManualFocusDistance", "Manual Focus Distance"},
    {134, "DigitalZoom", "Digital Zoom"},
    {136, "FocusArea", "Focus Area"},
    {137, "Mode", "Mode"},
    {141, "ColorMode", "Color Mode", "", "", NikonColorMode},
    {143, "SceneMode", "Scene Mode"},
    {146, "HueAdjustment", "Hue Adjustment"},
    {148, "Saturation", "Saturation"},
    {149, "NoiseReduction", "Noise Reduction"},
    {3840, "Skip", "Skip"},
}};

extern constexpr std::array<TTagRow, 33> OlympusTags{{
    {512, "SpecialMode", "SpecialMode"},
    {513, "JpegQual", "JpegQual", "1:SQ,2:HQ,3:SHQ,4:Raw"},
    {514, "Macro", "Macro", "0=Normal,1:Macro;"},
    {515, "Skip", "Skip"},
    {516, "DigiZoom", "Digital Zoom Ratio"},
    {517, "Skip", "Skip"},
    {518, "Skip", "Skip"},
    {519, "Firmware", "Firmware"},
    {520, "PictInfo", "PictInfo"},
    {521, "CameraID", "CameraID"},
    {3840, "Skip", "Skip"},
    {4100, "FlashMode", "FlashMode"},
    {4102, "Bracket", "Bracket"},
    {4107, "FocusMode", "FocusMode"},
    {4108, "FocusDistance", "FocusDistance"},
    {4109, "Zoom", "Zoom"},
    {4110, "MacroFocus", "MacroFocus"},
    {4111, "Sharpness", "Sharpness"},
    {4113, "ColorMatrix", "ColorMatrix"},
    {4114, "BlackLevel", "BlackLevel"},
    {4117, "WhiteBalance", "WhiteBalance"},
    {4119, "RedBias", "RedBias"},
    {4120, "BlueBias", "BlueBias"},
    {4122, "SerialNumber", "SerialNumber"},
    {4131, "FlashBias", "FlashBias"},
    {4137, "Contrast", "Contrast"},
    {4138, "SharpnessFactor", "SharpnessFactor"},
    {4139, "ColorControl", "ColorControl"},
    {4140, "ValidBits", "ValidBits"},
    {4141, "Coring", "Coring Filter"},
    {4142, "FinalWidth", "FinalWidth"},
    {4143, "FinalHeight", "FinalHeight"},
    {4148, "CompressionRatio", "CompressionRatio"},
}};

extern constexpr std::array<TTagRow, 26> CasioATags{{
    {1, "RecordingMode", "RecordingMode",
     "1:Single Shutter,2:Panorama,3:Night Scene,4:Portrait,5:Landscape"},
    {2, "Quality", "Quality", "1:Economy,2:Normal,3:Fine"},
    {3, "FocusingMode", "FocusingMode", "2:Macro,3:Auto Focus,4:Manual Focus,5:Infinity"},
    {4, "FlashMode", "FlashMode", "1:Auto,2:On,3:Off,4:Red Eye Reduction"},
    {5, "FlashIntensity", "FlashIntensity", "11:Weak,13:Normal,15:Strong"},
    {6, "ObjectDistance", "ObjectDistance"},
    {7, "WhiteBalance", "WhiteBalance",
     "1:Auto,2:Tungsten,3:Daylight,4:Fluorescent,5:Shade,129:Manual"},
    {8, "Skip", "Skip"},
    {9, "Skip", "Skip"},
    {10, "DigitalZoom", "DigitalZoom", "65536:Off,65537:2X Digital Zoom"},
    {11, "Sharpness", "Sharpness", "0:Normal,1:Soft,2:Hard"},
    {12, "Contrast", "Contrast", "0:Normal,1:Low,2:High"},
    {13, "Saturation", "Saturation", "0:Normal,1:Low,2:High"},
    {14, "Skip", "Skip"},
    {15, "Skip", "Skip"},
    {16, "Skip", "Skip"},
    {17, "Skip", "Skip"},
    {18, "Skip", "Skip"},
    {19, "Skip", "Skip"},
    {20, "CCDSensitivity", "CCDSensitivity",
     "64:Normal,125:+1.0,250:+2.0,244:+3.0,80:Normal,100:High"},
    {21, "Skip", "Skip"},
    {22, "Skip", "Skip"},
    {23, "Skip", "Skip"},
    {24, "Skip", "Skip"},
    {25, "Skip", "Skip"},
    {26, "Skip", "Skip"},
}};

extern constexpr std::array<TTagRow, 45> CasioBTags{{
    {2, "ThumbnailDimensions", "ThumbnailDimensions"},
    {3, "ThumbnailSize", "ThumbnailSize"},
    {4, "ThumbnailOffset", "ThumbnailOffset"},
    {8, "Quality", "Quality", "1:Fine,2:Super Fine"},
    {9, "ImageSize", "ImageSize",
     "0:640 x 480,4:1600 x 1200,5:2048 x 1536,20:2288 x 1712,21:2592 x 1944,22:2304 x 1728,"
     "36:3008 x 2008"},
    {13, "FocusMode", "FocusMode", "0:Normal,1:Macro"},
    {20, "IsoSensitivity", "IsoSensitivity", "3:50,4:64,6:100,9:200"},
    {25, "WhiteBalance", "WhiteBalance",
     "0:Auto,1:Daylight,2:Shade,3:Tungsten,4:Fluorescent,5:Manual"},
    {29, "FocalLength", "Focal Length (.1 mm)"},
    {31, "Saturation", "Saturation", "0:-1,1:Normal,2:+1"},
    {32, "Contrast", "Contrast", "0:-1,1:Normal,2:+1"},
    {33, "Sharpness", "Sharpness", "0:-1,1:Normal,2:+1"},
    {3584, "PIM", "\tPrint Image Matching Info"},
    {8192, "Skip", "Skip"},
    {8193, "Skip", "Skip"},
    {8194, "Skip", "Skip"},
    {8195, "Skip", "Skip"},
    {8209, "WhiteBalanceBias", "WhiteBalanceBias"},
    {8211, "Skip", "Skip"},
    {8210, "WhiteBalance", "WhiteBalance", "0:Manual,1:Auto,4:Flash,12:Flash"},
    {8225, "Skip", "Skip"},
    {8226, "ObjectDistance", "Object Distance (mm)"},
    {8227, "Skip", "Skip"},
    {8241, "Skip", "Skip"},
    {8242, "Skip", "Skip"},
    {8243, "Skip", "Skip"},
    {8244, "FlashDistance", "FlashDistance"},
    {12288, "RecordMode", "RecordMode", "2:Normal"},
    {12289, "SelfTimer", "SelfTimer", "0:Off,1:On"},
    {12290, "Quality", "Quality", "1:Economy,2:Normal,3:Fine"},
    {12291, "FocusMode", "FocusMode", "1:Fixed,3:Auto Focus,6:Multi-Area Auto Focus"},
    {12293, "Skip", "Skip"},
    {12294, "TimeZone", "TimeZone"},
    {12295, "BestshotMode", "BestshotMode", "0:Off,1:On"},
    {12305, "Skip", "Skip"},
    {12306, "Skip", "Skip"},
    {12307, "Skip", "Skip"},
    {12308, "CCDSensitivity", "CCDSensitivity"},
    {12309, "ColorMode", "ColorMode", "0:Off,1:On"},
    {12310, "Enhancement", "Enhancement", "0:Off,1:On"},
    {12311, "Filter", "Filter", "0:Off,1:On"},
    {12312, "Skip", "Skip"},
    {12313, "Skip", "Skip"},
    {12314, "Skip", "Skip"},
    {12315, "Skip", "Skip"},
}};

extern constexpr std::array<TTagRow, 18> FujiTags{{
    {0, "Version", "Version"},
    {4096, "Quality", "Quality"},
    {4097, "Sharpness", "Sharpness", "1:Soft,2:Soft,3:Normal,4:Hard,5:Hard"},
    {4098, "WhiteBalance", "WhiteBalance",
     "0:Auto,256:Daylight,512:Cloudy,768:DaylightColor-fluorescence,"
     "769:DaywhiteColor-fluorescence,770:White-fluorescence,1024:Incandenscense,"
     "3840:Custom white balance."},
    {4099, "Color", "Color", "0:Normal,256:High,512:Low"},
    {4100, "Tone", "Tone", "0:Normal,256:High,512:Low"},
    {4112, "FlashMode", "FlashMode", "0:Auto,1:On,2:Off,3:Red-eye reduction"},
    {4113, "FlashStrength", "FlashStrength"},
    {4128, "Macro", "Macro", "0:Off,1:On"},
    {4129, "Focusmode", "Focusmode", "0:Auto Focus,1:Manual Focus"},
    {4144, "SlowSync", "SlowSync", "0:Off,1:On"},
    {4145, "PictureMode", "PictureMode",
     "0:Auto,1:Portrait scene,2:Landscape scene,4:Sports scene,5:Night scene,6:Program AE,"
     "256:Aperture prior AE,512:Shutter prior AE,768:Manual exposure"},
    {4146, "Skip", "Skip"},
    {4352, "ContTake/Bracket", "ContTake/Bracket", "0:Off,1:On"},
    {4608, "Skip", "Skip"},
    {4864, "BlurWarning", "BlurWarning", "0:No blur warning,1:Blur warning"},
    {4865, "FocusWarning", "FocusWarning", "0:Auto Focus good,1:Out of focus"},
    {4866, "AEWarning", "AEWarning", "0:AE good,1:Over exposure"},
}};

extern constexpr std::array<TTagRow, 16> CanonTags{{
    {0, "Skip", "Skip"},
    {1, "ExposureInfo1", "ExposureInfo1", "", "", CanonExposureInfo1},
    {2, "Skip", "Skip"},
    {3, "Skip", "Skip"},
    {4, "ExposureInfo2", "ExposureInfo2", "", "", CanonExposureInfo2},
    {6, "ImageType", "ImageType"},
    {7, "FirmwareVersion", "FirmwareVersion"},
    {8, "ImageNumber", "ImageNumber"},
    {9, "OwnerName", "OwnerName"},
    {10, "Skip", "Skip"},
    {11, "Skip", "Skip"},
    {12, "CameraSerialNumber", "CameraSerialNumber"},
    {13, "Skip", "Skip"},
    {14, "Skip", "Skip"},
    {15, "CustomFunctions", "CustomFunctions", "", "", CanonCustomFunctions},
    {16, "Skip", "Skip"},
}};

extern constexpr std::array<TTagRow, 12> SeikoTags{{
    {512, "Special Mode", "Special Mode"},
    {513, "JpegQuality", "JpegQuality"},
    {514, "Macro", "Macro"},
    {515, "Skip", "Skip"},
    {516, "DigiZoom", "DigiZoom"},
    {521, "CameraID", "CameraID"},
    {522, "Comments", "Comments"},
    {523, "Width", "Width"},
    {524, "Height", "Height"},
    {525, "SoftRelease", "SoftRelease"},
    {768, "??", "??"},
    {3840, "skip", "skip"},
}};

extern constexpr std::array<TTagRow, 6> SanyoTags{{
    {512, "Special Mode", "Special Mode"},
    {513, "JpegQuality", "JpegQuality"},
    {514, "Macro", "Macro"},
    {515, "Skip", "Skip"},
    {516, "DigiZoom", "DigiZoom"},
    {3840, "DataDump", "DataDump"},
}};

extern constexpr std::array<TTagRow, 2> MinoltaTags{{
    {0, "ModelID", "ModelID"},
    {3584, "PIMdata", "PIMdata"},
}};

// ---------------------------------------------------------------------------
// Canon's packed values: the fields of the exposure information (positions
// of coded fields count from 0, of plain fields from 1) and the custom
// functions 1 to 15.

namespace {
constexpr std::string_view CanonLowNormalHigh = "65535:Low,0:Normal,1:High";
}

extern constexpr std::array<TCanonField, 20> CanonExposureInfo1Fields{{
    {"Macro mode", 1, "1:Macro,2:Normal"},
    {"Self Timer", 2, ""},
    {"Compression Rate", 3, "0:SuperFine,1:Fine,2:Normal,3:Basic,5:SuperFine"},
    {"Flash Mode", 4,
     "0:Not fired,1:Auto,2:On,3:Red-eye,4:Slow sync,5:Auto+red-eye,6:On+red eye,"
     "16:External flash"},
    {"Drive Mode", 5, "0:Single,1:Continuous"},
    {"Focus Mode", 7, "0:One-Shot,1:AI Servo,2:AI Focus,3:MF,4:Single,5:Continuous,6:MF"},
    {"Image Size", 10, "0:Large,1:Medium,2:Small,4:5MPixel,5:2 MPixel,6:1.5 MPixel"},
    {"Easy Shoot", 11,
     "0:Full Auto,1:Manual,2:Landscape,3:Fast Shutter,4:Slow Shutter,5:Night,6:B&W,7:Sepia,"
     "8:Portrait,9:Sports,10:Macro/Close-Up,11:Pan Focus"},
    {"Contrast", 13, CanonLowNormalHigh},
    {"Saturation", 14, CanonLowNormalHigh},
    {"Sharpness", 15, CanonLowNormalHigh},
    {"CCD ISO", 16, "0:Not used,15:auto,16:50,17:100,18:200,19:400"},
    {"Metering Mode", 17, CanonLowNormalHigh},
    {"AF Point", 19, CanonLowNormalHigh},
    {"Exposure Mode", 20, CanonLowNormalHigh},
    {"Long focal", 24, ""},
    {"Short focal", 25, ""},
    {"Focal Units", 26, ""},
    {"Flash Details", 29, ""},
    {"Focus Mode", 32, CanonLowNormalHigh},
}};

extern constexpr std::array<TCanonField, 6> CanonExposureInfo2Fields{{
    {"White balance", 7, "0:Auto,1:Sunny,2:Cloudy,3:Tungsten,4:Flourescent,5:Flash,6:Custom"},
    {"Sequence Number", 9, ""},
    {"OpticalZoom Step", 11, ""},
    {"AF point", 14, ""},
    {"Flash bias", 15,
     "65472:-2 EV,65484:-1.67 EV,65488:-1.50 EV,65492:-1.33 EV,65504:-1 EV,65516:-0.67 EV,"
     "65520:-0.50 EV,65524:-0.33 EV,0:0 EV,12:0.33 EV,16:0.50 EV,20:0.67 EV,32:1 EV,"
     "44:1.33 EV,48:1.50 EV,52:1.67 EV,64:2 EV"},
    {"Distance", 19, ""},
}};

extern constexpr std::array<TCanonField, 15> CanonCustomFunctionFields{{
    {"Noise Reduction", 1, "0: Off,1: On"},
    {"Shutter AE Lock Button", 2, "0:AF/AE lock,1:AE lock/AF,2:AF/AF lock,3:AE+release/AE+AF"},
    {"Mirror Lockup", 3, "0:Disable,1:Enable"},
    {"Exposure Level", 4, "0:1/2 stop,1:1/3 stop"},
    {"AF Assist", 5, "0:On (auto),1:Off"},
    {"AV Shutter Speed", 6, "0:Automatic,1: 1/200 (fixed)"},
    {"AEB Sequence", 7,
     "0:0, -, + / Enabled1: 0, -, + / Disabled,2: -, 0, + / Enabled,3: -, 0, + / Disabled"},
    {"Shutter Sync", 8, "0:1st-curtain sync,1: 2nd-curtain sync"},
    {"Lens AF Button", 9, "0:AF stop,1:Operate AF,2:Lock AE and start timer"},
    {"Fill Flash Reduction", 10, "0:Enable,1:Disable"},
    {"Menu Return", 11, "0:Top,1:Previous (volatile),2:Previous"},
    {"Set Button", 12, "0:Not assigned,1:Change quality,2:Change ISO speed,3:Select parameters"},
    {"Sensor Cleaning", 13, "0:Disable,1:Enable"},
    {"Superimposed Display", 14, "0: On,1: Off"},
    {"Shutter Release w/o CF Card", 15, "0:Enable,1:Disable"},
}};

// ---------------------------------------------------------------------------
// The registry, in the order its rows are tried. Adjust counts from the
// note's position where the note's offsets count from the EXIF block's TIFF
// header, and is fixed where they count from the note's own header.

extern constexpr std::array<TMakerLayout, 11> MakerLayouts{{
    {"NIKON", TMakerTest::NewNikonFormat, "", "Nikon B", NikonBTags, 18, 9, false, 0, false},
    {"NIKON", TMakerTest::NoteBegins, "Nikon", "Nikon A", NikonATags, 8, 0, true, 0, false},
    {"NIKON", TMakerTest::Always, "", "Nikon B", NikonBTags, 0, -8, true, 0, false},
    {"OLYMP", TMakerTest::Always, "", "Olympus", OlympusTags, 8, 0, true, 9, false},
    {"CASIO", TMakerTest::NoteBegins, "QVC", "Casio B", CasioBTags, 6, -2, true, 0, false},
    {"CASIO", TMakerTest::Always, "", "Casio A", CasioATags, 0, -8, true, 0, false},
    {"FUJIF", TMakerTest::Always, "", "Fuji", FujiTags, 12, 13, false, 0, true},
    {"CANON", TMakerTest::Always, "", "Canon", CanonTags, 0, -8, true, 0, false},
    {"SEIKO", TMakerTest::Always, "", "Seiko", SeikoTags, 8, 0, true, 0, false},
    {"SANYO", TMakerTest::Always, "", "Sanyo", SanyoTags, 8, 0, true, 0, false},
    {"MINOL", TMakerTest::Always, "", "Minolta", MinoltaTags, 0, -8, true, 0, false},
}};

}  // namespace pictrim
