// zedadu-host repair FILE [--out OUT]: makes an AVI file that was cut short (a recording killed,
// a disk that filled) whole, in place or as a copy.
#include <cstdio>
#include <filesystem>

#include <CLI/CLI.hpp>

#include "host/cli/answers.h"
#include "host/cli/errors.h"
#include "host/cli/output_files.h"
#include "host/cli/text.h"
#include "host/commands/commands.h"
#include "host/hosting/plugin.h"
#include "host/walks/avi_repair.h"
#include "host/walks/path_checks.h"

namespace zedadu::host {
namespace {

struct RepairOptions {
    std::string file;
    std::string out;
    Answers answers;
};

void Describe(const RepairPlan& plan, const std::string& written) {
    printf("%s, %u part%s: %u frames, %llu sample frames\n",
           plan.openDml ? "AVI 2.0 (OpenDML)" : "AVI 1.0", plan.parts, plan.parts == 1 ? "" : "s",
           plan.frames, static_cast<unsigned long long>(plan.sampleFrames));
    if (plan.whole) {
        printf(
            "The file is whole: it has its index and ends where its headers say; nothing to "
            "repair.\n");
        return;
    }
    if (plan.restoredHeaders) {
        printf("Wrote back the headers of %u damaged chunk%s from the file's index.\n",
               plan.restoredHeaders, plan.restoredHeaders == 1 ? "" : "s");
        printf("Wrote them and the counts of the headers into %s.\n", written.c_str());
        return;
    }
    if (plan.resizedChunks) {
        printf("Mended the sizes of %u damaged chunks up to the chunks found behind them.\n",
               plan.resizedChunks);
    }
    if (plan.paddedBytes) {
        printf("Made %s behind damaged chunk headers padding and found the chunks after it.\n",
               ByteCount(plan.paddedBytes).c_str());
    }
    if (plan.shortenedTail) {
        printf("Kept %s of the chunk the file ends in as a shorter chunk.\n",
               ByteCount(plan.shortenedTail).c_str());
    }
    if (plan.dropped) {
        printf("Dropped %s at the end that holds no whole chunk.\n",
               ByteCount(plan.dropped).c_str());
    }
    printf("Wrote %s and the counts and sizes of the headers into %s.\n",
           plan.openDml ? (plan.parts == 1 ? "the OpenDML indexes and idx1" : "the OpenDML indexes")
                        : "the index (idx1)",
           written.c_str());
    if (!plan.keyFramesKnown) {
        printf(
            "The video codec's key frames are not known here: only the first frame is marked as "
            "one, so readers decode from it.\n");
    }
}

// The repaired copy is made under a temporary name beside --out and renamed when complete, so
// that a failure leaves neither a half file nor a changed old one.
void RepairIntoCopy(const RepairOptions& options, const RepairPlan& plan) {
    ConfirmReplacingFiles(ExistingFiles({options.out}));
    StagedFile staged(options.out);
    if (plan.whole) {
        std::filesystem::copy_file(options.file, staged.path(),
                                   std::filesystem::copy_options::overwrite_existing);
    } else {
        CarryOutRepair(options.file, plan, staged.path());
    }
    staged.Commit();
}

// In place, the file changes only after a Yes (--yes unattended), asked with what will change.
void ConfirmRepairInPlace(const std::string& file, const RepairPlan& plan) {
    std::string changes;
    if (plan.dropped) {
        changes += "drop " + ByteCount(plan.dropped) + " at the end that hold no whole chunk, ";
    }
    if (plan.restoredHeaders) {
        changes += Text("write back %u chunk headers from the index, ", plan.restoredHeaders);
    }
    if (plan.resizedChunks || plan.paddedBytes) {
        changes += "mend the damaged chunk headers, ";
    }
    changes += plan.append.empty() ? "rewrite the header counts"
                                   : "append the index and rewrite the header counts";
    if (!ConfirmReplacing("Repair " + file + " in place: " + changes + "?")) {
        throw HostError(file +
                        " was left as it was; --yes repairs it in place, --out writes a "
                        "repaired copy");
    }
}

// What the plug-in reads of a file now: frames and sample frames; nothing when it cannot open it.
struct Readable {
    uint32_t frames = 0;
    uint64_t sampleFrames = 0;
};

Readable ReadableNow(const Plugin& plugin, const std::string& path) {
    try {
        const ReadingFile file(plugin, path);
        return {file.info().frameCount, file.info().audioLength};
    } catch (const HostError&) {
        return {};
    }
}

// A repair never leaves fewer frames or sample frames to read than the file gives now.
void RefuseLosses(const RepairOptions& options, const RepairPlan& plan, const Readable& now) {
    if (plan.frames >= now.frames && plan.sampleFrames >= now.sampleFrames) {
        return;
    }
    throw HostError(
        Text("cannot repair %s: the plug-in reads %u frames and %llu sample frames of "
             "it now, and a repair would keep %u and %llu; the file is left as it was",
             options.file.c_str(), now.frames, static_cast<unsigned long long>(now.sampleFrames),
             plan.frames, static_cast<unsigned long long>(plan.sampleFrames)));
}

int RunRepairCommand(const RepairOptions& options) {
    if (!options.out.empty()) {
        RefuseFolderAsOutput(options.out);
        RefuseToWriteOverInputs(options.out, {options.file});
    }
    CheckReadable(options.file);
    const RepairVerdict verdict = PlanRepair(options.file);
    if (!verdict.plan) {
        throw HostError("cannot repair " + options.file + ": " + verdict.refusal +
                        "; the file is left as it was");
    }
    const RepairPlan& plan = *verdict.plan;
    const Plugin plugin;
    RefuseLosses(options, plan, ReadableNow(plugin, options.file));
    if (!options.out.empty()) {
        RepairIntoCopy(options, plan);
    } else if (!plan.whole) {
        ConfirmRepairInPlace(options.file, plan);
        CarryOutRepair(options.file, plan, "");
    }
    Describe(plan, options.out.empty() ? options.file : options.out);
    return kExitOk;
}

void AddRepairOptions(CLI::App& command, RepairOptions& options) {
    command.add_option("file", options.file, "the AVI file")->required();
    command.add_option("--out", options.out,
                       "write the repaired file here and leave FILE untouched (default: repair in "
                       "place, which only cuts the partial tail, appends the index and rewrites "
                       "header fields); an existing file is replaced only after a Yes");
}

}  // namespace

Command AddRepairCommand(CLI::App& command) {
    return Subcommand(command, AddRepairOptions, RunRepairCommand);
}

}  // namespace zedadu::host
