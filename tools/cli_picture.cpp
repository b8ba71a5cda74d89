// pictor encode's picture: handed to the library as it is when the library
// reads it so, otherwise decoded and handed over as an uncompressed RGB TIFF.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "cli_command_line.h"
#include "cli_files.h"
#include "cli_prepare.h"
#include "media/fit.h"
#include "media/picture.h"
#include "media/picture_input.h"
#include "media/vertical_filter.h"

namespace {

std::string Size(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// "a PAL 16:9 job"
std::string JobName(const EncodeSettings& e) {
    return (e.standard == "NTSC" ? "an " : "a ") + e.standard + " " + e.aspect + " job";
}

// Why a picture of this size is not coded, with the sizes that are and the way to fit it.
std::string SizeRefusal(const std::string& picture, int width, int height,
                        const EncodeSettings& e) {
    const bool pal = e.standard == "PAL";
    std::string why;
    SizeSuitsJob(width, height, pal, e.aspect == "16:9", &why);
    const Frame frame = FrameFor(pal, e.aspect == "16:9");
    std::string text =
        picture + " is " + Size(width, height) + ", which " + JobName(e) + " does not take";
    // The reason, unless it is only that the size is none of the list below.
    if (why.find("accepted") == std::string::npos) text += ": " + why;
    return text + " (it takes " + JobSizesText(pal, e.aspect == "16:9") +
           "); --fit pad, crop or stretch scales it into the " + Size(frame.width, frame.height) +
           " frame";
}

// What the decoding did, for the summary's source line.
std::string Conversion(PictureFormat format, const PictureFacts& facts) {
    std::string text = std::string("converted from ") + PictureFormatName(format) + " " +
                       Size(facts.width, facts.height);
    if (facts.orientation > 1)
        text += ", turned upright from EXIF orientation " + std::to_string(facts.orientation);
    if (facts.profileConverted) text += ", colour profile converted to sRGB";
    if (facts.frames > 1) text += ", first of " + std::to_string(facts.frames) + " frames";
    return text;
}

// The picture, of `source`'s size in the file and perhaps decoded shrunk, scaled into the frame
// by the job's fit, said in the summary, and with a note when no --fit chose it.
std::string FitIntoFrame(const CommandLine& line, const std::string& picture,
                         const PictureFacts& source, RgbPicture* rgb, PreparedJob* job) {
    const EncodeSettings& e = line.encode;
    const Frame frame = FrameFor(e.standard == "PAL", e.aspect == "16:9");
    RgbPicture fitted;
    std::string error;
    if (!FitPicture(*rgb, e.fitMode, frame, StudioBlack(line.flags.levelMode), &fitted, &error,
                    source.width, source.height))
        return "cannot fit " + picture + " into the frame: " + error;
    job->conversion += std::string(", fitted into the ") + Size(frame.width, frame.height) +
                       " frame (" + FitModeName(e.fitMode) + ")";
    if (!e.fit) {
        job->warnings.push_back("note: " + picture + " is " + Size(source.width, source.height) +
                                ", which " + JobName(e) + " does not take: padded into the " +
                                Size(frame.width, frame.height) +
                                " frame (--fit crop or stretch to fill it, --fit none to refuse)");
    }
    job->placement = DescribePlacement(source.width, source.height, e.fitMode, frame);
    *rgb = std::move(fitted);
    return "";
}

// The folder of job.codedPicture, made when a picture is first put there.
bool MakeStillFolder(const PreparedJob& job) {
    const std::string folder = job.codedPicture.substr(0, job.codedPicture.rfind('/'));
    return MakeNamedWorkDir(job.work) && (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST);
}

// A TIFF of a job coded on an instance, read whole once: its checks and its coding take it from
// memory. None when it cannot be read so (the checks then read the file).
PictureBytes ReadWholeTiff(const std::string& picture, PreparedJob* job) {
    if (!job->deferWork) return PictureBytes{};
    auto whole = std::make_shared<FileBytes>();
    if (!whole->Read(picture)) return PictureBytes{};
    job->pictureBytes = whole;
    return PictureBytes{whole->data(), whole->size()};
}

// The user's file to be linked into the private folder under the job's name for it.
std::string LinkAsItIs(const std::string& picture, PreparedJob* job) {
    job->linkedPicture = AbsolutePath(picture);
    return "";
}

}  // namespace

bool LinkPendingPicture(const PreparedJob& job) {
    struct stat st;
    if (job.linkedPicture.empty() || lstat(job.codedPicture.c_str(), &st) == 0) return true;
    return MakeStillFolder(job) && LinkOrCopy(job.linkedPicture, job.codedPicture) == 0;
}

std::string PreparePicture(const CommandLine& line, const std::string& picture,
                           const std::string& sourceName, PreparedJob* job) {
    const EncodeSettings& e = line.encode;
    const bool pal = e.standard == "PAL";
    const bool wide = e.aspect == "16:9";
    const std::string target = job->work + "/still/" + sourceName;
    job->codedPicture = target;
    const PictureFormat format = DetectPictureFormat(picture);

    // A TIFF the library reads as it is goes to it untouched: the same stream
    // as ever, and the library's own words when the size does not suit the job
    // and nothing is to fit it.
    int width = 0, height = 0;
    if (format == PictureFormat::kTiff && !e.deflicker &&
        LibraryTakesAsIs(picture, nullptr, &width, &height, ReadWholeTiff(picture, job)) &&
        (e.fitMode == FitMode::kNone || SizeSuitsJob(width, height, pal, wide, nullptr))) {
        if (!SizeSuitsJob(width, height, pal, wide, nullptr))
            job->pictureRefusal = "hint: " + SizeRefusal(picture, width, height, e);
        job->placement = AsItIs(width, height, FrameFor(pal, wide));
        return LinkAsItIs(picture, job);
    }
    job->pictureBytes.reset();

    RgbPicture rgb;
    std::string error;
    PictureFacts facts;
    // A picture to be fitted is decoded no smaller than twice the frame's samples each way.
    const Frame frame = FrameFor(pal, wide);
    const int keepSides = e.fitMode == FitMode::kNone ? 0 : 2 * std::max(frame.width, frame.height);
    if (!ReadPicture(picture, e.background, &rgb, &error, &facts, keepSides)) {
        if (format == PictureFormat::kUnknown) return picture + " " + error;
        if (format != PictureFormat::kTiff) return "cannot read " + picture + ": " + error;
        // A TIFF the decoder cannot read goes to the library as it is, which says in its words
        // why it refuses it; the command's reason follows.
        job->pictureRefusal = ExplainTiffRefusal(picture);
        if (job->pictureRefusal.empty()) job->pictureRefusal = picture + ": " + error;
        job->pictureRefusal = "hint: " + job->pictureRefusal;
        return LinkAsItIs(picture, job);
    }
    job->conversion = Conversion(format, facts);
    job->placement = AsItIs(facts.width, facts.height, frame);
    if (facts.frames > 1 && format != PictureFormat::kHeif && format != PictureFormat::kAvif) {
        job->warnings.push_back("note: " + picture + " is an animation of " +
                                std::to_string(facts.frames) + " frames; its first is coded");
    }
    if (!SizeSuitsJob(facts.width, facts.height, pal, wide, nullptr)) {
        if (e.fitMode == FitMode::kNone) return SizeRefusal(picture, facts.width, facts.height, e);
        const std::string problem = FitIntoFrame(line, picture, facts, &rgb, job);
        if (!problem.empty()) return problem;
    }
    if (e.deflicker) SoftenLines(&rgb);
    if (!MakeStillFolder(*job)) return "cannot make " + job->work + "/still";
    if (!WriteRgbTiff(target, rgb, &error)) return error;
    return "";
}
