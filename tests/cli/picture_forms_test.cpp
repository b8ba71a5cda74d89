// Every form of picture people bring, coded by pictor encode: each stream decodes silently in
// ffmpeg and libmpeg2 and matches another reader's decode of the same file (ImageMagick,
// libheif's, libwebp's or Pillow's own tools, never libvips); a photo with an EXIF orientation
// comes out upright. The TIFF, PNG and JPEG forms the media tests decode are not repeated here.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_support.h"
#include "media/picture_input.h"
#include "media/reference_planes.h"
#include "support/decoders.h"

namespace {

constexpr int kWidth = 176, kHeight = 144;

// Pictures made with Pillow: up.png, whose top left quadrant alone is red; the JPEGs of every
// EXIF orientation, stored turned so that the tag makes them upright again; p3.png, src.png's
// samples tagged with a wide-gamut (Display P3 primaries) profile, and its sRGB rendering by
// Pillow's lcms as the reference.
const char kPillow[] = R"(
import ctypes, io, sys
from PIL import Image, ImageCms
up = Image.open('src.png').convert('RGB')
up.paste((230, 20, 20), (0, 0, 88, 72))
up.save('up.png')
inverse = {2: Image.Transpose.FLIP_LEFT_RIGHT, 3: Image.Transpose.ROTATE_180,
           4: Image.Transpose.FLIP_TOP_BOTTOM, 5: Image.Transpose.TRANSPOSE,
           6: Image.Transpose.ROTATE_90, 7: Image.Transpose.TRANSVERSE,
           8: Image.Transpose.ROTATE_270}
for n in range(1, 9):
    stored = up.transpose(inverse[n]) if n > 1 else up
    exif = Image.Exif()
    exif[0x0112] = n
    stored.save('orient%d.jpg' % n, quality=95, exif=exif.tobytes())
lcms = ctypes.CDLL('liblcms2.so.2')
class xyY(ctypes.Structure):
    _fields_ = [('x', ctypes.c_double), ('y', ctypes.c_double), ('Y', ctypes.c_double)]
lcms.cmsBuildGamma.restype = ctypes.c_void_p
lcms.cmsCreateRGBProfile.restype = ctypes.c_void_p
white = xyY(0.3127, 0.3290, 1.0)
primaries = (xyY * 3)(xyY(0.680, 0.320, 1.0), xyY(0.265, 0.690, 1.0), xyY(0.150, 0.060, 1.0))
gamma = ctypes.c_void_p(lcms.cmsBuildGamma(None, ctypes.c_double(2.2)))
curves = (ctypes.c_void_p * 3)(gamma, gamma, gamma)
profile = lcms.cmsCreateRGBProfile(ctypes.byref(white), primaries, curves)
lcms.cmsSaveProfileToFile(ctypes.c_void_p(profile), b'p3.icc')
src = Image.open('src.png').convert('RGB')
src.save('p3.png', icc_profile=open('p3.icc', 'rb').read())
srgb = ImageCms.profileToProfile(src, 'p3.icc', ImageCms.createProfile('sRGB'),
                                 renderingIntent=ImageCms.Intent.RELATIVE_COLORIMETRIC)
srgb.save('p3-reference.png')
)";

const char kBackground[] = "#3366cc";

// ImageMagick's decode of {in}'s first picture, upright, flattened over the background.
// Pillow's decode of {in}, upright by its EXIF orientation (ImageMagick 6 here turns 5 and 7 the
// other way).
const char kPillowUpright[] =
    "/usr/bin/python3 -c \"from PIL import Image, ImageOps; open('{ref}', 'wb').write("
    "ImageOps.exif_transpose(Image.open('{in}')).convert('RGB').tobytes())\"";
const char kMagick[] =
    "convert '{in}[0]' -auto-orient -background '#3366cc' -flatten -colorspace sRGB -depth 8 "
    "rgb:{ref}";

// One picture file: how it is made from src.png (8-bit), deep.png (16-bit), rgba.png (alpha),
// or Pillow's pictures; how another reader decodes it; what the summary says of it.
struct Form {
    const char* name;
    const char* file;
    const char* make;
    const char* reference;  // into {ref} as 8-bit RGB, 176x144
    const char* said;       // a part of the summary's "converted"
    double psnr;            // the least PSNR of each plane against the reference, in dB
};

void PrintTo(const Form& f, std::ostream* os) { *os << f.name; }

const Form kForms[] = {
    {"heic", "x.heic", "heif-enc -q 95 -o x.heic src.png",
     "heif-convert {in} ref.png && convert ref.png -depth 8 rgb:{ref}", "from HEIF", 38},
    {"avif", "x.avif", "heif-enc -A -q 95 -o x.avif src.png",
     "heif-convert {in} ref.png && convert ref.png -depth 8 rgb:{ref}", "from AVIF", 38},
    {"webp", "x.webp", "cwebp -quiet -q 95 src.png -o x.webp",
     "dwebp -quiet {in} -ppm -o ref.ppm && convert ref.ppm -depth 8 rgb:{ref}", "from WebP", 38},
    {"webp_alpha", "x.webp", "cwebp -quiet -q 95 -exact rgba.png -o x.webp", kMagick, "from WebP",
     38},
    {"gif", "x.gif", "convert src.png x.gif", kMagick, "from GIF", 38},
    {"gif_animated", "x.gif", "convert src.png \\( src.png -negate \\) -loop 0 x.gif", kMagick,
     "first of 2 frames", 38},
    {"png_16bit_alpha", "x.png",
     "convert deep.png \\( -size 144x176 gradient: -rotate 90 \\) -alpha off -compose CopyOpacity"
     " -composite png64:x.png",
     kMagick, "from PNG", 38},
    {"png_p3_profile", "p3.png", "true", "convert p3-reference.png -depth 8 rgb:{ref}",
     "colour profile converted to sRGB", 38},
    {"jpeg_orientation_1", "orient1.jpg", "true", kPillowUpright, "from JPEG 176x144", 36},
    {"jpeg_orientation_2", "orient2.jpg", "true", kPillowUpright, "EXIF orientation 2", 36},
    {"jpeg_orientation_3", "orient3.jpg", "true", kPillowUpright, "EXIF orientation 3", 36},
    {"jpeg_orientation_4", "orient4.jpg", "true", kPillowUpright, "EXIF orientation 4", 36},
    {"jpeg_orientation_5", "orient5.jpg", "true", kPillowUpright, "EXIF orientation 5", 36},
    {"jpeg_orientation_6", "orient6.jpg", "true", kPillowUpright, "EXIF orientation 6", 36},
    {"jpeg_orientation_7", "orient7.jpg", "true", kPillowUpright, "EXIF orientation 7", 36},
    {"jpeg_orientation_8", "orient8.jpg", "true", kPillowUpright, "EXIF orientation 8", 36},
};

std::string Fill(std::string text, const std::string& in, const std::string& ref) {
    for (size_t at; (at = text.find("{in}")) != std::string::npos;) text.replace(at, 4, in);
    for (size_t at; (at = text.find("{ref}")) != std::string::npos;) text.replace(at, 5, ref);
    return text;
}

// The Y, Cb and Cr the library codes of 8-bit RGB `rgb`, made through a TIFF in `dir`.
YuvPlanes PlanesOf(const std::string& dir, const std::string& name, std::vector<uint8_t> rgb) {
    RgbPicture picture{kWidth, kHeight, std::move(rgb)};
    std::string error;
    YuvPlanes planes;
    EXPECT_TRUE(WriteRgbTiff(dir + "/" + name, picture, &error)) << error;
    EXPECT_TRUE(ReferencePlanesFromTiff(dir + "/" + name, 0, &planes, &error)) << error;
    return planes;
}

// The least PSNR of Y, Cb and Cr.
double LeastPsnr(const YuvPlanes& a, const DecodedPicture& b) {
    if (a.y.size() != b.y.size() || a.cb.size() != b.cb.size() || a.cr.size() != b.cr.size())
        return 0;
    return std::min({Psnr(a.y.data(), b.y.data(), a.y.size()),
                     Psnr(a.cb.data(), b.cb.data(), a.cb.size()),
                     Psnr(a.cr.data(), b.cr.data(), a.cr.size())});
}

class PictureForm : public ::testing::TestWithParam<Form> {
public:
    static CliFolder& Folder() {
        static CliFolder folder;
        return folder;
    }
    static void SetUpTestSuite() {
        CliFolder& f = Folder();
        f.Add("pillow.py", kPillow);
        ASSERT_TRUE(f.Make(
            "convert -seed 5 -size 176x144 plasma: -blur 0x1 png48:deep.png && convert deep.png "
            "-depth 8 png24:src.png && convert src.png "
            "\\( -size 144x176 gradient: -rotate 90 -fill black -draw 'rectangle 60,40 "
            "100,80' \\) -alpha off -compose CopyOpacity -composite -depth 8 png32:rgba.png && "
            "/usr/bin/python3 pillow.py"));
    }
};

TEST_P(PictureForm, CodesDecodesSilentlyAndMatchesAnotherReader) {
    const Form& c = GetParam();
    CliFolder& folder = Folder();
    const std::string in = std::string(c.name) + "-" + c.file, out = std::string(c.name) + ".m2v";
    ASSERT_TRUE(folder.Make(std::string(c.make) + " && cp " + c.file + " " + in));
    const CliResult r =
        folder.Run("encode " + in + " -o " + out + " --target 900000 --standard pal --aspect 4:3" +
                   " --background '" + kBackground + "' -q --json " + c.name + ".json");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(JsonValues(folder.dir / (std::string(c.name) + ".json"), "converted").find(c.said),
              std::string::npos);

    const DecoderVerdict verdict = DecodeStream(folder.dir / out, kWidth, kHeight);
    ASSERT_EQ(DecoderProblems(verdict, kWidth, kHeight), "");
    const std::string ref = std::string(c.name) + ".rgb";
    ASSERT_TRUE(folder.Make(Fill(c.reference, in, ref)));
    const std::vector<uint8_t> rgb = ReadFileBytes(folder.dir / ref);
    ASSERT_EQ(rgb.size(), size_t{kWidth} * kHeight * 3);
    const YuvPlanes reference = PlanesOf(folder.dir.path, std::string(c.name) + ".tif", rgb);
    EXPECT_GE(LeastPsnr(reference, verdict.mpeg2dec), c.psnr);

    // An oriented picture is the upright one: the red quadrant top left.
    if (std::string(c.file).rfind("orient", 0) == 0) {
        ASSERT_TRUE(folder.Make("convert up.png -depth 8 rgb:up.rgb"));
        const YuvPlanes up = PlanesOf(folder.dir.path, std::string(c.name) + "-up.tif",
                                      ReadFileBytes(folder.dir / "up.rgb"));
        EXPECT_GE(LeastPsnr(up, verdict.mpeg2dec), 30);
    }
}

INSTANTIATE_TEST_SUITE_P(Forms, PictureForm, ::testing::ValuesIn(kForms),
                         ::testing::PrintToStringParamName());

}  // namespace
