#include "analysis/DockerInspector.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>
#include <string_view>
#include <utility>

#include <nlohmann/json.hpp>

#include "engine/Bytes.h"
#include "platform/ProcessRunner.h"
#include "platform/Text.h"
#include "platform/TextCase.h"
#include "platform/UUID.h"

namespace sorvel::DockerInspector {
namespace {

using json = nlohmann::json;
// An accounting row's figures; none where its text could not be read.
struct Figures {
    std::optional<int64_t> total, reclaimable;
};
using Summary = std::optional<Figures>;

// More than any real listing; a tool that writes this much is not answering a listing.
constexpr size_t kOutputLimit = 64u * 1024 * 1024;
constexpr const char* kDot = " \u00B7 ";

ProcessRunner::Result attempt(const std::string& tool, const std::vector<std::string>& arguments,
                              std::chrono::milliseconds deadline);
std::optional<std::string> answer(ProcessRunner::Result& result);

// One deadline for every command of an inspection: a daemon slow to answer each of them
// is waited for once, not once per command.
class Budget {
public:
    explicit Budget(std::chrono::milliseconds whole) : end_(std::chrono::steady_clock::now() + whole) {}

    ProcessRunner::Result attempt(const std::string& tool, const std::vector<std::string>& arguments) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
        if (ranOut_ || left.count() <= 0) {
            ranOut_ = true;
            ProcessRunner::Result none;
            none.timedOut = true;
            return none;
        }
        ProcessRunner::Result result = DockerInspector::attempt(tool, arguments, left);
        ranOut_ = ranOut_ || result.timedOut;
        return result;
    }
    std::optional<std::string> run(const std::string& tool, const std::vector<std::string>& arguments) {
        ProcessRunner::Result result = attempt(tool, arguments);
        return answer(result);
    }
    /// Some command was stopped, or never started, for want of time.
    bool ranOut() const { return ranOut_; }

private:
    std::chrono::steady_clock::time_point end_;
    bool ranOut_ = false;
};

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (end > start) out.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return out;
}

// The JSON objects of a listing, one per line; anything else is skipped.
std::vector<json> rows(const std::optional<std::string>& output) {
    std::vector<json> out;
    if (!output) return out;
    for (const auto& line : lines(*output)) {
        try {
            json row = json::parse(line, nullptr, false);
            if (!row.is_discarded() && row.is_object()) out.push_back(std::move(row));
        } catch (const std::exception&) {
        }
    }
    return out;
}

std::optional<std::string> text(const json& row, const char* key) {
    const auto it = row.find(key);
    return detail::string(it == row.end() ? nullptr : &*it);
}

std::string joined(const std::vector<std::string>& parts) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += kDot;
        out += parts[i];
    }
    return out;
}

void sortLargestFirst(std::vector<DockerUsage::Entry>& entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const auto& a, const auto& b) { return a.size > b.size; });
}

// Image and container groups: the accounting row's figures when there is one, else the
// listing's own sums; no group when there is neither.
std::optional<DockerUsage::Group> grouped(std::string id, std::string title, std::string prune,
                                          std::vector<DockerUsage::Entry> entries, const Summary& summary) {
    if (!summary && entries.empty()) return std::nullopt;
    sortLargestFirst(entries);
    DockerUsage::Group group{std::move(id), std::move(title), 0, 0, std::move(entries), std::move(prune)};
    // The listing's sums stand in for figures the row lacks; sizes that could not be read
    // count in neither, and the group says so.
    int64_t total = 0, reclaimable = 0;
    bool listingKnown = true;
    for (const auto& e : group.entries) {
        if (!e.sizeKnown) listingKnown = false;
        total = Bytes::saturatingAdd(total, e.size);
        if (e.isReclaimable) reclaimable = Bytes::saturatingAdd(reclaimable, e.size);
    }
    const bool totalRead = summary && summary->total, reclaimableRead = summary && summary->reclaimable;
    group.total = totalRead ? *summary->total : total;
    group.reclaimable = reclaimableRead ? *summary->reclaimable : reclaimable;
    group.sizesKnown = (totalRead && reclaimableRead) || (!summary && listingKnown);
    return group;
}

// An entry of `size` as Docker wrote it: 0 and not known when the text cannot be a size.
void setSize(DockerUsage::Entry& entry, const std::optional<std::string>& text) {
    const auto size = detail::measured(text);
    entry.size = size.value_or(0);
    entry.sizeKnown = size.has_value();
}

// What `docker system df -v` adds to the plain listings, which leave these "N/A": how
// many containers use each image (keyed by ID without "sha256:") and each volume's size.
struct Verbose {
    std::map<std::string, std::string> imageContainers;
    // What removing the image alone frees, and what it shares with other images.
    std::map<std::string, std::pair<std::string, std::string>> imageSizes; // unique, shared
    std::map<std::string, std::string> volumeSizes;
};

std::string bareID(std::string id) {
    if (id.rfind("sha256:", 0) == 0) id.erase(0, 7);
    return id;
}

Verbose verbose(const std::optional<std::string>& output) {
    Verbose out;
    for (const auto& report : rows(output)) {
        auto list = [&report](const char* key) {
            const auto it = report.find(key);
            return it != report.end() && it->is_array() ? &*it : nullptr;
        };
        if (const json* images = list("Images")) {
            for (const auto& image : *images) {
                if (!image.is_object()) continue;
                const auto id = text(image, "ID");
                const auto containers = text(image, "Containers");
                if (id && containers && !bareID(*id).empty()) out.imageContainers[bareID(*id)] = *containers;
                const auto unique = text(image, "UniqueSize"), shared = text(image, "SharedSize");
                if (id && unique && *unique != "N/A" && !bareID(*id).empty())
                    out.imageSizes[bareID(*id)] = {*unique, shared.value_or("0B")};
            }
        }
        if (const json* volumes = list("Volumes")) {
            for (const auto& volume : *volumes) {
                if (!volume.is_object()) continue;
                const auto name = text(volume, "Name");
                const auto size = text(volume, "Size");
                if (name && size) out.volumeSizes[*name] = *size;
            }
        }
    }
    return out;
}

// The listing shows short IDs, the verbose report full ones: the one full ID the short one
// begins; none when there is no such ID or more than one.
template <typename Value>
const Value* byShortID(const std::map<std::string, Value>& byID, const std::string& shortID) {
    if (shortID.empty()) return nullptr;
    auto it = byID.lower_bound(shortID);
    if (it == byID.end() || it->first.rfind(shortID, 0) != 0) return nullptr;
    const auto next = std::next(it);
    if (next != byID.end() && next->first.rfind(shortID, 0) == 0) return nullptr;
    return &it->second;
}

bool allDigits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// How many containers use an image, as Docker counts them; none when it did not say.
std::optional<bool> usedByContainers(const json& row, const std::string& id, const Verbose& report) {
    std::optional<std::string> count;
    if (const auto* counted = byShortID(report.imageContainers, bareID(id))) count = *counted;
    else count = text(row, "Containers");
    if (!count || !allDigits(*count)) return std::nullopt;
    return count->find_first_not_of('0') != std::string::npos;
}

std::optional<DockerUsage::Group> images(const std::string& docker, const Summary& summary, const Verbose& report,
                                         Budget& budget) {
    // Without "--all": the builder's intermediate images are parts of others, not removable
    // on their own, so they are never listed.
    const auto listed = budget.run(docker, {"image", "ls", "--format", "{{json .}}"});
    std::optional<std::vector<std::string>> dangling;
    if (listed) {
        if (auto ids = budget.run(docker, {"image", "ls", "--filter", "dangling=true", "--quiet"})) {
            dangling.emplace();
            for (auto& id : lines(*ids)) dangling->push_back(bareID(detail::trimmed(id)));
        }
    }
    auto isDangling = [&dangling](const std::string& id) {
        if (!dangling || id.empty()) return false;
        return std::any_of(dangling->begin(), dangling->end(), [&id](const std::string& d) {
            return !d.empty() && (d.rfind(id, 0) == 0 || id.rfind(d, 0) == 0);
        });
    };

    const auto all = rows(listed);
    std::map<std::string, std::vector<std::string>> tagsOf; // image ID -> its references
    for (const auto& row : all) {
        const auto repository = text(row, "Repository"), tag = text(row, "Tag"), id = text(row, "ID");
        if (!id || !repository || !tag || *repository == "<none>" || *tag == "<none>") continue;
        auto& tags = tagsOf[*id];
        const std::string reference = *repository + ":" + *tag;
        if (std::find(tags.begin(), tags.end(), reference) == tags.end()) tags.push_back(reference);
    }

    std::vector<DockerUsage::Entry> entries;
    std::set<std::string> seen;
    for (const auto& row : all) {
        const std::string repository = text(row, "Repository").value_or("<none>");
        const std::string tag = text(row, "Tag").value_or("<none>");
        const auto listedID = text(row, "ID");
        const std::string id = listedID.value_or(UUID::random().uuidString());
        const bool tagged = repository != "<none>" && tag != "<none>";
        const bool isDanglingImage = isDangling(id);
        // An untagged image the daemon does not call dangling is a layer of another image.
        if (!tagged && dangling && !isDanglingImage) continue;
        // One entry per image: removing one of two tags frees nothing, so the entry removes
        // every tag and the image goes with the last.
        const std::string reference = tagged ? repository + ":" + tag : id;
        std::vector<std::string> tags{reference};
        if (tagged && listedID) tags = tagsOf[id];
        if (!seen.insert(tagged && listedID ? id : reference).second) continue;

        const auto used = usedByContainers(row, id, report);
        std::vector<std::string> facts;
        if (auto created = text(row, "CreatedSince")) facts.push_back("created " + *created);
        if (isDanglingImage) facts.emplace_back("dangling");
        facts.emplace_back(!used ? "use not known" : *used ? "in use" : "not used by any container");
        if (tags.size() > 1) {
            std::string also = "also tagged ";
            for (size_t i = 1; i < tags.size(); ++i) also += (i > 1 ? ", " : "") + tags[i];
            facts.push_back(std::move(also));
        }
        const bool optionLike = std::any_of(tags.begin(), tags.end(), [](const auto& t) { return t.rfind('-', 0) == 0; });
        // Layers another image holds stay: the entry's size is what its removal frees.
        std::optional<std::string> size = text(row, "Size");
        if (const auto* sizes = byShortID(report.imageSizes, bareID(id))) {
            size = sizes->first;
            if (const int64_t shared = detail::bytes(sizes->second); shared > 0)
                facts.push_back(Bytes::format(shared) + " shared with other images");
        }
        std::string remove = optionLike ? "docker rmi --" : "docker rmi";
        for (const auto& t : tags) remove += " " + detail::shellQuoted(t);
        DockerUsage::Entry entry{tags.size() > 1 ? id : reference, tagged ? reference : "<untagged> " + id,
                                 joined(facts), 0, used == false, remove};
        setSize(entry, size);
        entry.useKnown = used.has_value();
        entries.push_back(std::move(entry));
    }
    return grouped("images", "Images", "docker image prune -a", std::move(entries), summary);
}

std::optional<DockerUsage::Group> containers(const std::string& docker, const Summary& summary, Budget& budget) {
    std::vector<DockerUsage::Entry> entries;
    for (const auto& row :
         rows(budget.run(docker, {"ps", "--all", "--size", "--format", "{{json .}}"}))) {
        const std::string id = text(row, "ID").value_or(UUID::random().uuidString());
        const std::string status = text(row, "Status").value_or("");
        const bool running = lowercased(status).rfind("up", 0) == 0;
        std::vector<std::string> facts;
        if (auto image = text(row, "Image")) facts.push_back(*image);
        facts.push_back(status);
        DockerUsage::Entry entry{id, text(row, "Names").value_or(id), joined(facts), 0, !running,
                                 detail::withOperand("docker rm", id)};
        setSize(entry, text(row, "Size"));
        entries.push_back(std::move(entry));
    }
    return grouped("containers", "Containers", "docker container prune", std::move(entries), summary);
}

// Whether the tool and the daemon both speak an API whose plain volume prune leaves named
// volumes; the tool reports the version it agreed on with the daemon, and the daemon its own.
bool pruneNeedsAll(const std::optional<std::string>& versionOutput) {
    bool reported = false;
    for (const auto& report : rows(versionOutput)) {
        for (const char* side : {"Client", "Server"}) {
            const auto it = report.find(side);
            if (it == report.end() || !it->is_object()) continue;
            const auto version = text(*it, "ApiVersion");
            if (!version) continue;
            reported = true;
            if (!detail::volumePruneNeedsAll(version)) return false;
        }
        break;
    }
    return reported;
}

std::optional<DockerUsage::Group> volumes(const std::string& docker, const Summary& summary, const Verbose& report,
                                          Budget& budget) {
    const auto listed = budget.run(docker, {"volume", "ls", "--format", "{{json .}}"});
    std::set<std::string> dangling;
    if (listed) {
        if (auto names = budget.run(docker, {"volume", "ls", "--filter", "dangling=true", "--quiet"}))
            for (auto& name : lines(*names)) dangling.insert(std::move(name));
    }
    std::vector<DockerUsage::Entry> entries;
    for (const auto& row : rows(listed)) {
        const std::string name = text(row, "Name").value_or(UUID::random().uuidString());
        const bool isDangling = dangling.count(name) > 0;
        // The listing says "N/A"; only the verbose report measures volumes.
        std::optional<std::string> size = text(row, "Size");
        if (const auto it = report.volumeSizes.find(name); it != report.volumeSizes.end()) size = it->second;
        DockerUsage::Entry entry{name, name, std::nullopt, 0, isDangling,
                                 detail::withOperand("docker volume rm", name)};
        setSize(entry, size);
        if (!size) entry.sizeKnown = false;
        std::string facts = isDangling ? "not attached to any container" : "in use";
        if (!entry.sizeKnown) facts += std::string(kDot) + "size not known";
        entry.detail = std::move(facts);
        entries.push_back(std::move(entry));
    }
    if (!summary) return std::nullopt;
    // Since API 1.42 a plain prune leaves named volumes, which the reclaimable figure counts.
    const bool needsAll = pruneNeedsAll(budget.run(docker, {"version", "--format", "{{json .}}"}));
    // Volumes are listed only where the row counts them: its figures, else the known sizes.
    return grouped("volumes", "Volumes", needsAll ? "docker volume prune --all" : "docker volume prune",
                   std::move(entries), summary);
}

// Only these rows are Docker's disk accounting; an answer with none of them is no accounting.
bool isAccountingType(const std::string& type) {
    return type == "Images" || type == "Containers" || type == "Local Volumes" || type == "Build Cache";
}

// Why the accounting did not come: a time-out, a daemon this user may not reach, one that
// is not running (the tool fails at once), or an answer that was not an accounting.
std::string notRespondingNote(const ProcessRunner::Result& result, std::chrono::milliseconds deadline) {
    if (result.timedOut)
        return "Docker did not answer within " + std::to_string(deadline.count() / 1000) +
               " seconds. That usually means the daemon is stuck \u2014 often because the disk is full, "
               "which is its own kind of answer. Restarting the Docker service (systemctl restart docker) "
               "normally clears it.";
    if (!result.launched) return "Sorvel could not start the docker tool.";
    if (result.signal != 0) return "The docker tool stopped without answering.";
    if (result.succeeded()) return "Docker answered, but not with its disk accounting.";
    if (lowercased(result.err).find("permission denied") != std::string::npos)
        return "Docker's daemon did not let this user in: its socket is open only to root and the docker group.";
    return "Docker's daemon is not running. Starting the Docker service (systemctl start docker) lets Sorvel "
           "read its disk use.";
}

std::string slowListingNote(std::chrono::milliseconds deadline) {
    return "Docker answered its disk accounting, but not all of its listings within " +
           std::to_string(deadline.count() / 1000) +
           " seconds: the totals are its own, and what it did not list in time is not shown. A daemon this slow "
           "is often stuck; restarting the Docker service (systemctl restart docker) normally clears it.";
}

// What the tool wrote on standard error, as one line of text: its first line that says
// anything, cut to a sentence's length.
std::string firstErrorLine(const std::string& err) {
    for (const auto& line : lines(err)) {
        std::string said = escapedControls(validUTF8(detail::trimmed(line)));
        if (said.empty()) continue;
        constexpr size_t kLongest = 300;
        if (said.size() > kLongest) said = validUTF8(said.substr(0, kLongest)) + "\u2026";
        return said;
    }
    return {};
}

ProcessRunner::Result attempt(const std::string& tool, const std::vector<std::string>& arguments,
                              std::chrono::milliseconds deadline) {
    ProcessRunner::Options options;
    options.deadline = deadline;
    options.killGrace = std::chrono::milliseconds(200);
    options.outputLimit = kOutputLimit;
    return ProcessRunner::run(tool, arguments, options);
}

std::optional<std::string> answer(ProcessRunner::Result& result) {
    if (!result.succeeded() || result.out.size() >= kOutputLimit) return std::nullopt;
    if (!isValidUTF8(result.out)) return std::nullopt;
    return std::move(result.out);
}

} // namespace

namespace detail {

std::optional<std::string> run(const std::string& tool, const std::vector<std::string>& arguments,
                               std::chrono::milliseconds deadline) {
    ProcessRunner::Result result = attempt(tool, arguments, deadline);
    return answer(result);
}

} // namespace detail

const std::vector<std::string>& candidatePaths() {
    static const std::vector<std::string> paths{"/usr/local/bin/docker", "/opt/homebrew/bin/docker",
                                                "/usr/bin/docker"};
    return paths;
}

std::optional<std::string> dockerPath(const std::vector<std::string>& candidates) {
    for (const auto& path : candidates) {
        if (ProcessRunner::isExecutableFile(path)) return path;
    }
    return std::nullopt;
}

std::optional<std::string> dockerPath() { return dockerPath(candidatePaths()); }

DockerUsage inspect() { return inspect(dockerPath()); }

DockerUsage inspect(const std::optional<std::string>& tool, std::chrono::milliseconds deadline) {
    DockerUsage usage;
    if (!tool) {
        usage.state = DockerUsage::State::notInstalled;
        usage.note = "Install Docker Engine to see what its images, containers and volumes take up.";
        return usage;
    }
    Budget budget(deadline);
    ProcessRunner::Result asked = budget.attempt(*tool, {"system", "df", "--format", "{{json .}}"});
    const auto accounting = answer(asked);
    if (!accounting) {
        usage.state = DockerUsage::State::notResponding;
        usage.note = notRespondingNote(asked, deadline);
        return usage;
    }
    std::map<std::string, Figures> summary; // a later row of a type wins
    for (const auto& row : rows(accounting)) {
        const std::string type = text(row, "Type").value_or("");
        if (!isAccountingType(type)) continue;
        std::optional<int64_t> reclaimable = 0;
        if (auto words = text(row, "Reclaimable")) {
            const auto first = words->find_first_not_of(' ');
            if (first != std::string::npos)
                reclaimable = detail::measured(words->substr(first, words->find(' ', first) - first));
        }
        summary[type] = {detail::measured(text(row, "Size")), reclaimable};
    }
    // A tool that exits 0 with nothing, or with anything but the accounting, read nothing:
    // its silence is no empty daemon.
    if (summary.empty()) {
        usage.state = DockerUsage::State::notResponding;
        const std::string error = firstErrorLine(asked.err);
        usage.note = error.empty() ? "Docker answered, but not with its disk accounting."
                                   : "Docker's daemon could not be read: " + error;
        return usage;
    }
    auto row = [&summary](const char* type) -> Summary {
        const auto it = summary.find(type);
        if (it == summary.end()) return std::nullopt;
        return it->second;
    };
    usage.state = DockerUsage::State::ready;
    const Verbose report = verbose(budget.run(*tool, {"system", "df", "-v", "--format", "{{json .}}"}));
    if (auto g = images(*tool, row("Images"), report, budget)) usage.groups.push_back(std::move(*g));
    if (auto g = containers(*tool, row("Containers"), budget)) usage.groups.push_back(std::move(*g));
    if (auto g = volumes(*tool, row("Local Volumes"), report, budget)) usage.groups.push_back(std::move(*g));
    if (auto cache = row("Build Cache"); cache && (!cache->total || *cache->total > 0)) {
        DockerUsage::Group group{"build-cache", "Build cache", cache->total.value_or(0),
                                 cache->reclaimable.value_or(0), {}, "docker builder prune -a"};
        group.sizesKnown = cache->total && cache->reclaimable;
        usage.groups.push_back(std::move(group));
    }
    // Said once: what did not come in time is missing from the lists, not empty.
    if (budget.ranOut()) usage.note = slowListingNote(deadline);
    return usage;
}

} // namespace sorvel::DockerInspector
