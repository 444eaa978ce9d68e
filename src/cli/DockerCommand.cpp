#include "cli/DockerCommand.h"

#include <algorithm>
#include <cstdint>

#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"
#include "cli/TextLayout.h"
#include "cli/TextWrap.h"
#include "engine/Bytes.h"
#include "platform/ProcessRunner.h"

namespace sorvel::HeadlessReport {

using TextLayout::fitted;
using TextLayout::leftPadded;
using TextLayout::repeated;
using TextLayout::shown;

namespace {

constexpr size_t kEntriesShown = 12;
// Sizes Docker wrote that cannot be sizes are said, never shown as 0 or counted.
constexpr const char* kSizeNotKnown = "not known";
constexpr const char* kNotAllKnown = " (some sizes not known)";

std::string upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

} // namespace

std::string dockerStateLabel(DockerUsage::State state) {
    switch (state) {
    case DockerUsage::State::notInstalled: return "Docker is not installed.";
    case DockerUsage::State::notResponding: return "Docker is installed but its daemon is not responding.";
    case DockerUsage::State::ready: break;
    }
    return "Connected.";
}

std::string dockerReport(const DockerUsage& usage) {
    std::string out;
    auto line = [&out](const std::string& text) { out += text + "\n"; };
    line("");
    line("  Docker");
    line("  " + repeated("\u2500", 68));
    line("  " + dockerStateLabel(usage.state));
    if (usage.note) {
        line("");
        line(wrap(*usage.note, "  ", 74));
    }
    if (usage.state != DockerUsage::State::ready) {
        line("");
        return out;
    }
    int64_t total = 0, reclaimable = 0;
    bool allKnown = true;
    for (const auto& g : usage.groups) {
        total = Bytes::saturatingAdd(total, g.total);
        reclaimable = Bytes::saturatingAdd(reclaimable, g.reclaimable);
        allKnown = allKnown && g.sizesKnown;
    }
    line("");
    line("  " + Bytes::format(total) + " total \u00B7 " + Bytes::format(reclaimable) + " reclaimable" +
         (allKnown ? "" : kNotAllKnown));
    for (const auto& g : usage.groups) {
        line("");
        line("  " + upper(g.title) + " \u2014 " + Bytes::format(g.total) + " total, " + Bytes::format(g.reclaimable) +
             " reclaimable" + (g.sizesKnown ? "" : kNotAllKnown));
        const size_t shownCount = std::min(g.entries.size(), kEntriesShown);
        for (size_t i = 0; i < shownCount; ++i) {
            const auto& e = g.entries[i];
            line(std::string("  ") + (e.isReclaimable ? "\u00B7" : " ") + " " +
                 leftPadded(e.sizeKnown ? Bytes::format(e.size) : kSizeNotKnown, 11) +
                 "  " + fitted(shown(e.name), 44) + "  " + (e.detail ? shown(*e.detail) : std::string()));
        }
        if (g.entries.size() > kEntriesShown)
            line("    \u2026 and " + std::to_string(g.entries.size() - kEntriesShown) + " more");
        if (g.pruneCommand) line("    remove everything unused here:  " + shown(*g.pruneCommand));
    }
    line("");
    line("  Lines marked \u00B7 are not used by anything running.");
    line("  Sorvel does not run any of these commands.");
    line("");
    return out;
}

int docker() {
    // Ctrl-C or a kill of Sorvel ends the docker it is waiting on, too.
    ProcessRunner::endToolsWithProcess();
    return ReportOutput::emit(dockerReport(DockerInspector::inspect()));
}

} // namespace sorvel::HeadlessReport
