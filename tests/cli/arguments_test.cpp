// What the command settles before any picture is coded: the command line read through the
// table of options, the place each stream of a batch takes and the clashes between them, and
// the places a stream, a preview or a report may not go. No case here codes a picture.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "cli/cli_support.h"

namespace {

const std::string kTry = "\nTry 'pictor --help' for the ways to call it.\n";

// Run as the command's other cases; none leaves a file.
const CommandCase kSettled[] = {
    // ---- Each form of a value the table takes: all read, then --version ends the call ----
    {"EveryValueFormTaken",
     "encode --standard Pal --aspect 16:9 --pan-scan -320 --target=-5 -j4 --jobs=2 -ox.m2v "
     "--fit=crop --background '#FFfF00' --levels full-wide --version",
     0, "", "pictor "},
    {"VersionBeforeAnyJob", "run good.tp --version", 0, "", "pictor "},
    {"HelpAsACommand", "help", 0, "", "Usage: pictor run"},
    {"InputsAfterDoubleDash", "run -- -a.tp -a.tp", 64,
     "pictor: -a.tp and -a.tp would both write -a.ts: they are one file; give it once" + kTry},

    // ---- Values refused, each named as given ----
    {"NoJobs", "run good.tp -j0", 64, "-j takes a number of jobs from 1 to 256, not '0'" + kTry},
    {"TooManyJobs", "run good.tp --jobs 257", 64, "-j takes a number of jobs from 1 to 256"},
    {"JobsInWords", "run good.tp --jobs=x", 64, "-j takes a number of jobs from 1 to 256, not 'x'"},
    {"TargetBeyond32Bits", "encode p.tif -o x.m2v --target 99999999999 --standard pal", 64,
     "--target takes a number of bits, not '99999999999'"},
    {"TargetInExponentForm", "encode p.tif -o x.m2v --target 2e5", 64,
     "--target takes a number of bits, not '2e5'"},
    {"AspectOfNeither", "encode p.tif -o x.m2v --aspect 5:4", 64,
     "--aspect takes 4:3 or 16:9, not '5:4'"},
    {"PanScanOfA4x3Picture", "encode p.tif -o x.m2v --pan-scan 5" + kEncode, 64,
     "--pan-scan needs --aspect 16:9"},
    {"UnknownLevels", "run good.tp --levels full-range", 64,
     "--levels takes video, studio or studio-wide, not 'full-range'"},
    {"UnknownFit", "encode p.tif --fit zoom", 64,
     "--fit takes pad, crop, stretch or none, not 'zoom'"},
    {"UnknownFormat", "encode x.tif -o x.mpg --format mp4", 64,
     "pictor: --format takes es or dvd, not 'mp4'"},
    {"ColourByAnotherName", "encode p.tif --background pink", 64,
     "--background takes black, white, grey or #RRGGBB, not 'pink'"},
    {"PreviewToStandardOutput", "run good.tp --preview -", 64, "--preview needs a file"},
    {"EmptyReportName", "run good.tp --json=", 64, "--json needs a file, or - for standard output"},
    {"EmptyStreamPath", "run good.tp --stream=", 64, "--stream needs a path"},
    {"EmptyOutputPath", "encode p.tif -o ''" + kEncode, 64, "-o needs a path"},
    {"EmptyOutputFolder", "encode p.tif --out-dir=" + kEncode, 64, "--out-dir needs a folder"},
    {"SwitchGivenAValue", "run good.tp --quiet=1", 64, "run: unknown option '--quiet=1'"},
    {"SwitchesNotBundled", "run good.tp -qn", 64, "run: unknown option '-qn'"},
    {"ValueMissingAtTheEnd", "run good.tp -j", 64, "--jobs needs a value"},

    // ---- What a subcommand needs ----
    {"RunWithoutAJobFile", "run -q", 64, "run needs a job parameter file"},
    // Everything missing is named in one run.
    {"EncodeWithoutAnyOfItsSettings", "encode p.tif", 64,
     "pictor: encode needs -o OUT or --out-dir DIR for the stream; --target BITS (160000 to "
     "1800000); --standard pal or ntsc; --aspect 4:3 or 16:9" +
         kTry},
    {"EncodeWithoutAPictureOrAStandard", "encode -o x.m2v --aspect 4:3 --target 200000", 64,
     "pictor: encode needs a picture; --standard pal or ntsc" + kTry},
    {"OutputAndFolder", "encode p.tif -o x.m2v --out-dir d" + kEncode, 64,
     "encode takes -o or --out-dir"},
    {"OneOutputForTwoPictures", "encode a.tif b.tif -o x.m2v" + kEncode, 64,
     "-o takes one picture; --out-dir DIR takes several"},

    // ---- A batch's streams each take a place of their own, however the paths are written ----
    // Both inputs named, with the way out.
    {"TheSameStemInRun", "run a.tp a.tpx.tp", 64,
     "pictor: a.tp and a.tpx.tp would both write a.ts; rename one job file, or run them one at "
     "a time with --stream" +
         kTry},
    {"OneFileThroughDotDot", "run sub/../good.tp good.tp", 64,
     "pictor: sub/../good.tp and good.tp would both write good.ts: they are one file; give it "
     "once",
     "", "", "", "mkdir sub"},
    {"OneFileThroughALinkedFolder", "run good.tp same/good.tp", 64,
     "pictor: good.tp and same/good.tp would both write same/good.ts: they are one file", "", "",
     "", "ln -s . same"},
    // Found before the folder is made.
    {"PicturesOfOneNameInOneFolder", "encode x/a.png y/a.jpg b.tif --out-dir out" + kEncode, 64,
     "pictor: x/a.png and y/a.jpg would both write out/a.m2v; rename one picture, or code them "
     "in runs with different --out-dir" +
         kTry},
    {"ReportWhereAStreamGoes", "run good.tp --json good.ts", 1,
     "pictor: --json: that is where a stream goes"},
    {"PreviewAndReportInOneFile", "run good.tp --json p.png --preview ./p.png", 64,
     "--preview and --json name the same file"},

    // ---- Places refused before the job codes ----
    {"StreamOverTheJobsPicture", "run good.tp --stream still/pic.tif", 1,
     "pictor: will not write over the job's picture"},
    // Appended, so the shell leaves the job file whole: the command must not write into it.
    {"StandardOutputIsTheJobFile", "run good.tp --stream - >> good.tp", 1,
     "pictor: standard output is the job parameter file"},
    {"ReportIntoAMissingFolder", "run good.tp --json nodir/r.json", 1,
     "pictor: --json: cannot write nodir/r.json: the folder nodir is missing"},
    {"ReportOverAFolder", "run good.tp --json somedir", 1,
     "pictor: --json: cannot write somedir: it is a folder", "", "", "", "mkdir somedir"},
    {"PreviewIntoAMissingFolder", "run good.tp -q --preview nodir/p.png", 1,
     "pictor: --preview: cannot write nodir/p.png: the folder nodir is missing"},
    {"StreamThroughALinkLoop", "run good.tp -q --stream loop", 1,
     "pictor: cannot write loop: too many symbolic links on the way", "", "", "",
     "ln -s loop loop"},
    {"StreamUnderAFile", "run good.tp -q --stream good.tp/x.m2v", 1,
     "pictor: cannot write good.tp/x.m2v: Not a directory"},

    // ---- A folder for the streams that cannot be made: refused once, before any job (the
    // pictures are missing, and no job tells of them) ----
    {"OutDirIsAFile", "encode a.png b.png --out-dir f --json r.json" + kEncode, 1,
     "pictor: --out-dir f: f is a file, not a folder\n", "", "", "", "touch f"},
    {"OutDirUnderAFile", "encode a.png b.png --out-dir f/menus/pal --json r.json" + kEncode, 1,
     "pictor: --out-dir f/menus/pal: f is a file, not a folder\n", "", "", "", "touch f"},
    {"OutDirNameTooLong", "encode a.png --out-dir d/" + std::string(300, 'n') + kEncode, 1,
     "pictor: --out-dir d/" + std::string(300, 'n') + ": cannot make the folder d/" +
         std::string(300, 'n') + ": File name too long\n",
     "", "", "", "mkdir d"},
};

INSTANTIATE_TEST_SUITE_P(Settled, CommandTest, ::testing::ValuesIn(kSettled),
                         ::testing::PrintToStringParamName());

}  // namespace
