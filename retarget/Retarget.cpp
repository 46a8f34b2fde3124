// `qmf retarget`'s job: the source as a private clip, the rig in the host,
// the match table, then the rule between the clip's frames and a writer.
// A scene out is the rig with the retargeted clip imported by the
// translator's own reader.
#include "retarget/Retarget.h"

#include "fileio/SafeFile.h"
#include "formats/Error.h"
#include "formats/Formats.h"
#include "formats/ImportRun.h"
#include "formats/Routes.h"
#include "formats/Session.h"

#include <cstdlib>
#include <ostream>

namespace qmf::retarget {

namespace {

using formats::Format;

// A private clip in the temporary folder, removed when it goes.
std::unique_ptr<fileio::TempFile> privateClip() {
    const char* base = std::getenv("TMPDIR");
    return std::make_unique<fileio::TempFile>(
        fileio::checkOutput(std::string(base && *base ? base : "/tmp") + "/qmf-retarget.qmf"));
}

std::string someNames(const std::vector<std::string>& names) {
    std::vector<std::string> few(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(names.size(), 4)));
    std::string s = formats::nameList(few, 4);
    if (names.size() > few.size()) s += " ...";
    return s;
}

// The source's frame `frame` (of the whole file), as its rest.
std::vector<formats::Frame> frameOf(const std::string& clip, uint32_t frame) {
    auto reader = formats::frameReader(Format::Clip, clip, formats::ConvertOptions{});
    if (frame >= reader->skeleton().frames)
        throw FormatError("--source-rest " + std::to_string(frame) + " is past the last frame of the source (" +
                          std::to_string(reader->skeleton().frames ? reader->skeleton().frames - 1 : 0) + ")");
    std::vector<formats::Frame> f(1);
    for (uint32_t i = 0; i < frame; ++i) reader->skip(f[0]);
    reader->next(f[0]);
    return f;
}

// The paths checked and the formats told: the source's, the output's (none
// for a dry run) and the output opened for an atomic write.
struct Paths {
    Format from = Format::Clip, to = Format::Clip;
    fileio::Output target;
};

Paths checkPaths(const std::string& source, const std::string& rigPath, const std::string& out,
                 const RetargetOptions& options, bool dryRun) {
    requireInput(source);
    requireInput(rigPath);
    Paths p;
    Format rigFormat = Format::Clip;
    if (!formats::formatOfContent(source, p.from)) throw FormatError(source + ": not " + formats::viewableList());
    if (!formats::formatOfContent(rigPath, rigFormat) || rigFormat != Format::MayaAscii)
        throw FormatError(rigPath + ": the rig must be a Maya ASCII scene");
    if (!dryRun) {
        if (!formats::formatOfName(out, p.to))
            throw FormatError("retarget: cannot tell the format of " + out + " " + formats::extensionHint());
        std::vector<std::string> inputs{source, rigPath, pluginPath(options.read.plugin)};
        if (!options.mapFile.empty()) inputs.push_back(options.mapFile);
        p.target = requireOutput(out, inputs);
    }
    if (!options.mapFile.empty()) requireInput(options.mapFile);
    return p;
}

}  // namespace

Retargeted retarget(const std::string& source, const std::string& rigPath, const std::string& out,
                    const RetargetOptions& options, bool dryRun, std::ostream& warn) {
    try {
        Paths paths = checkPaths(source, rigPath, out, options, dryRun);
        const Format from = paths.from, to = paths.to;
        fileio::Output target = std::move(paths.target);

        // The source as a clip: its frames chosen on the way.
        std::unique_ptr<fileio::TempFile> sourceClip;
        std::string clipPath = source;
        formats::ConvertOptions clipReading = options.read;
        if (from != Format::Clip) {
            sourceClip = privateClip();
            formats::ConvertOptions toClip = options.read;
            toClip.time = from == Format::MayaAscii ? options.read.time : std::string();
            formats::convert(from, Format::Clip, source, sourceClip->path(), toClip, warn);
            clipPath = sourceClip->path();
            clipReading.frames.clear();
            clipReading.step = 1;
        }
        std::vector<formats::Frame> rest;
        if (options.sourceRest) rest = frameOf(clipPath, *options.sourceRest);
        auto sourceReader = formats::frameReader(Format::Clip, clipPath, clipReading);

        // The rig in the host, posed at --time: the skeleton export writes.
        formats::ConvertOptions rigReading;
        rigReading.plugin = options.read.plugin;
        rigReading.time = options.read.time;
        auto rig = formats::frameReader(Format::MayaAscii, rigPath, rigReading);

        Retargeted r;
        for (const auto& j : sourceReader->skeleton().joints) r.sourceNames.push_back(j.name);
        for (const auto& j : rig->skeleton().joints) r.targetNames.push_back(j.name);
        r.table = matchJoints(r.sourceNames, r.targetNames, options.mapFile);
        if (r.table.pairs.empty())
            throw FormatError("no joint of " + source + " matches one of " + rigPath + " (" + someNames(r.sourceNames) +
                              "; " + someNames(r.targetNames) + "); pair them with --map FILE");
        if (dryRun) return r;

        auto reader = retargeted(std::move(sourceReader), rig->skeleton(), r.table, options,
                                 options.sourceRest ? &rest : nullptr, r.rule);
        if (!r.rule.zeroBones.empty())
            warn << "qmf: warning: " << formats::nameList(r.rule.zeroBones)
                 << ": a bone of length zero has no direction; its rest is not turned onto the source's\n";
        if (to == Format::MayaAscii) {
            // The clip made for the rig, then keyed onto it by the translator.
            auto clip = std::make_unique<fileio::TempFile>(target);
            {
                auto writer = formats::frameWriter(Format::Clip, fileio::checkOutput(clip->path()), options.read);
                r.written = transfer(*reader, *writer, warn);
            }
            formats::ConvertOptions importing;
            importing.plugin = options.read.plugin;
            importing.replace = true;   // the rig's own curves on the channels keyed give way
            formats::importClip(clip->path(), rigPath, out, importing, warn);
            return r;
        }
        auto writer = formats::frameWriter(to, target, options.read);
        r.written = transfer(*reader, *writer, warn);
        return r;
    } catch (const fileio::Error& e) {
        throw FormatError(e.what());
    }
}

void printMatches(const Retargeted& r, const std::string& source, const std::string& rig, std::ostream& out) {
    out << "# source joint -> rig joint (how matched); " << source << " onto " << rig << "\n";
    for (const Pair& p : r.table.pairs) {
        out << r.sourceNames[p.source] << " -> " << r.targetNames[p.target] << " (" << howName(p.how);
        if (p.how == How::BodyPart) out << ": " << p.part;
        out << ")\n";
    }
    auto names = [](const std::vector<std::size_t>& idx, const std::vector<std::string>& all) {
        std::vector<std::string> n;
        for (std::size_t i : idx) n.push_back(all[i]);
        return n;
    };
    out << "unmatched in " << source << ": "
        << (r.table.unmatchedSource.empty() ? "none" : formats::nameList(names(r.table.unmatchedSource, r.sourceNames), 1000)) << "\n";
    out << "unmatched in " << rig << ": "
        << (r.table.unmatchedTarget.empty() ? "none" : formats::nameList(names(r.table.unmatchedTarget, r.targetNames), 1000)) << "\n";
}

}  // namespace qmf::retarget
