// pictor run JOBFILE: a job parameter file's job, run from a private folder
// that links to the job file and its pictures.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli_command_line.h"
#include "cli_files.h"
#include "cli_hints.h"
#include "cli_job_file.h"
#include "cli_prepare.h"
#include "door/library_door.h"

namespace {

// The job file's folder as the library would be given it ("." for a bare
// name, "" for one in the root, whose path the library joins as "/" + name).
std::string FolderOf(const std::string& jobFile) {
    const size_t slash = jobFile.rfind('/');
    if (slash == std::string::npos) return ".";
    return jobFile.substr(0, slash);
}

std::string NameOf(const std::string& jobFile) {
    const size_t slash = jobFile.rfind('/');
    return slash == std::string::npos ? jobFile : jobFile.substr(slash + 1);
}

// The picture the job names: the last SOURCE_FILE, in still/ beside the job file.
std::string PictureOf(const std::vector<JobFileLine>& lines, const std::string& folder) {
    std::string source;
    for (const JobFileLine& line : lines) {
        if (line.key == "SOURCE_FILE") source = line.value;
    }
    return source.empty() ? std::string() : folder + "/still/" + source;
}

}  // namespace

std::string DestinationOf(const CommandLine& line, const std::string& input) {
    if (line.command == Command::kEncode && line.outDir.empty()) return line.output;
    if (line.command == Command::kEncode) {
        // Named after the picture, its extension replaced.
        const std::string name = NameOf(input);
        const size_t dot = name.rfind('.');
        const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
        return line.outDir + "/" + stem + (line.format == "dvd" ? ".mpg" : ".m2v");
    }
    if (!line.stream.empty()) return line.stream;
    // Beside the job file, named after the job file's own name: the stem rule
    // applied to the name alone, whatever its folder is called.
    const size_t slash = input.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : input.substr(0, slash + 1);
    return folder + rules::Stem(NameOf(input)) + ".ts";
}

std::string PrepareRun(const CommandLine& line, const std::string& jobFile, PreparedJob* job) {
    const std::string folder = FolderOf(jobFile);
    const std::string name = NameOf(jobFile);
    if (name.empty()) return "'" + jobFile + "' names a folder, not a job file";
    if (name.size() > rules::kMaxJobFileName || folder.size() > rules::kMaxWorkDir)
        return "the job file's path is too long: " + jobFile;
    if (folder.size() + 1 + name.size() > rules::kMaxJobFilePath) {
        job->refusedDir = folder;
        job->jobFileName = name;
        return "";
    }
    job->work = MakeWorkDir(name.size());
    if (job->work.empty()) return std::string("cannot make a work folder: ") + std::strerror(errno);
    if (job->work.size() + 1 + name.size() > rules::kMaxJobFilePath)
        return "the job file's name is too long to run it from a work folder: " + name;
    const std::string realFolder = AbsolutePath(folder.empty() ? "/" : folder);
    if (LinkOrCopy(AbsolutePath(jobFile), job->work + "/" + name) != 0 ||
        symlink((realFolder + "/still").c_str(), (job->work + "/still").c_str()) != 0) {
        return std::string("cannot prepare the work folder: ") + std::strerror(errno);
    }
    job->jobFileName = name;
    // Messages cite the job's own folder, not the private one.
    job->renames.emplace_back(job->work + "/", folder + "/");
    std::vector<JobFileLine> lines;
    if (ReadJobFileLines(jobFile, &lines)) {
        job->hasTarget = JobTarget(lines, line.flags, &job->target);
        job->warnings = JobFileWarnings(jobFile, lines, line.flags);
        job->silentFailureHint = SilentFailureHint(jobFile, lines);
        const std::string picture = PictureOf(lines, folder);
        if (!picture.empty()) {
            job->guarded.push_back({picture, "the job's picture"});
            job->refusedPicture = picture;
            job->codedPicture = PictureOf(lines, job->work);
        }
    }
    job->guarded.push_back({jobFile, "the job parameter file"});
    return "";
}
