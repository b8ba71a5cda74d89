// pictor encode PICTURE: one job without a job parameter file of the user's;
// the command writes one into a private folder beside the picture it hands over.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli_command_line.h"
#include "cli_files.h"
#include "cli_prepare.h"
#include "door/library_door.h"

namespace {

std::string JobText(const EncodeSettings& settings, const std::string& sourceName) {
    std::string text = "# written by pictor encode\n";
    text += "SOURCE_FILE " + sourceName + "\n";
    text += "TARGET_SIZE " + std::to_string(settings.target) + "\n";
    text += "FRMRT " + settings.standard + "\n";
    text += "ASPECT_RATIO " + settings.aspect + "\n";
    text += std::string("PAN_SCAN ") + (settings.panScan ? "ON" : "OFF") + "\n";
    if (settings.panScan)
        text += "PAN_SCAN_VECTOR " + std::to_string(settings.panScanVector) + "\n";
    return text;
}

bool WriteText(const std::string& path, const std::string& text) {
    FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return std::fclose(out) == 0 && ok;
}

}  // namespace

std::string PrepareEncode(const CommandLine& line, const std::string& picture, PreparedJob* job) {
    const size_t slash = picture.rfind('/');
    std::string base = slash == std::string::npos ? picture : picture.substr(slash + 1);
    const size_t dot = base.rfind('.');
    std::string stem = dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
    if (!rules::NameFitsJobFile(base) || !rules::NameFitsJobFile(stem)) {
        base = "picture.tif";
        stem = "picture";
    }
    job->hasTarget = true;
    job->target = rules::TargetUsed(line.encode.target, line.flags.progressiveStill == 1);
    if (job->target != line.encode.target) {
        job->warnings.push_back("warning: --target " + std::to_string(line.encode.target) +
                                " is outside what the job takes; it aims at " +
                                std::to_string(job->target) + " bits");
    }
    job->jobFileName = stem + ".tp";
    const size_t room = job->jobFileName.size();
    job->work = job->deferWork ? NameWorkDir(room) : MakeWorkDir(room);
    if (job->work.empty()) return std::string("cannot make a work folder: ") + std::strerror(errno);
    job->pendingJobText = JobText(line.encode, base);
    job->guarded.push_back({picture, "the input picture"});
    errno = 0;
    const std::string problem = PreparePicture(line, picture, base, job);
    // A picture converted into the work folder and not written there.
    if (problem.find(job->work) != std::string::npos)
        return WorkFolderFailure(DestinationOf(line, picture), job->work, errno);
    if (!problem.empty()) return problem;
    // Messages cite the user's picture, not its link in the private folder.
    job->renames.emplace_back(job->work + "/still/" + base, picture);
    job->renames.emplace_back(job->work + "/" + stem + ".tif", picture);
    job->renames.emplace_back("<" + job->jobFileName + ">", "<" + picture + ">");
    job->renames.emplace_back(job->work + "/", "");
    return "";
}

std::string WritePendingJobFile(const CommandLine& line, const std::string& input,
                                const PreparedJob& job) {
    if (job.pendingJobText.empty()) return "";
    if (MakeNamedWorkDir(job.work) &&
        WriteText(job.work + "/" + job.jobFileName, job.pendingJobText))
        return "";
    return WorkFolderFailure(DestinationOf(line, input), job.work, errno);
}

PictorSettings EncodeJobSettings(const CommandLine& line) {
    const EncodeSettings& e = line.encode;
    PictorSettings s;
    PictorDefaultSettings(&s);
    // Numbers as the job reads the text JobText writes for them.
    bool whole = false;
    s.targetBits = rules::LeadingInteger(std::to_string(e.target), &whole);
    s.standard = e.standard == "NTSC" ? PICTOR_NTSC : PICTOR_PAL;
    s.aspect = e.aspect == "16:9" ? PICTOR_ASPECT_16_9 : PICTOR_ASPECT_4_3;
    s.panScan = e.panScan ? 1 : 0;
    if (e.panScan) s.panScanVector = rules::LeadingInteger(std::to_string(e.panScanVector), &whole);
    s.extendedAnalysis = line.flags.extendedAnalysis;
    s.progressiveStill = line.flags.progressiveStill;
    s.levelMode = line.flags.levelMode;
    return s;
}
