// What a finished stream looks like once decoded: its quality against the
// planes the library coded, its quantisers, and the preview.
#include <cstdio>
#include <cstring>

#include "cli_command_line.h"
#include "cli_files.h"
#include "cli_measure.h"
#include "cli_output.h"
#include "cli_prepare.h"
#include "cli_summary.h"
#include "media/picture.h"
#include "media/quality.h"
#include "media/reference_planes.h"

namespace {

std::string Renamed(std::string text, const PreparedJob& job) {
    for (const auto& rename : job.renames) text = ReplaceAll(text, rename.first, rename.second);
    return text;
}

// The preview goes where it was asked to go as a stream does: complete or not at all.
std::string DeliverPreview(const PreparedJob& job, const YuvPlanes& decoded,
                           const Destination& preview, bool safeArea) {
    const std::string made = job.work + "/preview.png";
    std::string error, png;
    if (!WritePreviewPng(made, decoded, &error, safeArea)) return error;
    if (!ReadWholeFile(made, &png)) return "cannot read the preview back";
    return DeliverText(png, preview);
}

}  // namespace

void MeasureQuality(const CommandLine& line, const PreparedJob& job, const std::string& stream,
                    const Destination& preview, JobSummary* s) {
    const bool wantPreview = !line.preview.empty();
    if (!line.measure && !wantPreview) return;
    DecodedStream decoded;
    std::string error;
    if (!DecodeMpeg2Stream(stream, &decoded, &error)) {
        s->notes.push_back("warning: the stream was not measured: " + error);
        if (wantPreview) {
            s->notes.push_back("--preview: no decoded picture to write");
            s->status = kExitFailed;
        }
        return;
    }
    if (!decoded.decoderMessages.empty())
        s->notes.push_back("warning: the decoder says of the stream: " + decoded.decoderMessages);
    PictureQuality& q = s->quality;
    q.quantiserKnown = decoded.quantiser.known;
    q.quantiserMin = decoded.quantiser.min;
    q.quantiserMax = decoded.quantiser.max;
    YuvPlanes reference;
    QualityReport report;
    if (!line.measure || job.codedPicture.empty()) {
        // Nothing to compare with.
    } else if (!LinkPendingPicture(job)) {
        s->notes.push_back(std::string("warning: the stream's quality was not measured: ") +
                           "cannot prepare the work folder: " + std::strerror(errno));
    } else if (!ReferencePlanesFromTiff(job.codedPicture, line.flags.levelMode, &reference,
                                        &error) ||
               !ComparePlanes(reference, decoded.picture, &report, &error)) {
        s->notes.push_back("warning: the stream's quality was not measured: " +
                           Renamed(error, job));
    } else {
        q.measured = true;
        q.psnrY = report.psnrY;
        q.psnrCb = report.psnrCb;
        q.psnrCr = report.psnrCr;
        q.psnrAverage = report.psnrAverage;
        q.ssimY = report.ssimY;
    }
    if (wantPreview) {
        const std::string problem = DeliverPreview(job, decoded.picture, preview, line.safeArea);
        if (!problem.empty()) {
            s->notes.push_back("--preview: " + problem);
            s->status = kExitFailed;
        }
    }
}
