#include "cli/SorvelMain.h"

#include <algorithm>
#include <cstdio>

#include "cli/HeadlessReport.h"
#include "cli/ReportOutput.h"

namespace sorvel::SorvelMain {
namespace {

constexpr std::string_view kUsage =
    "Sorvel \u2014 find out where your disk space went and what can safely be given back\n"
    "\n"
    "  Sorvel              open the app\n"
    "  Sorvel --scan       open the app and scan what this user can\n"
    "                       read at once\n"
    "  Sorvel --report     scan and print a text report\n"
    "  Sorvel --report --whole-disk\n"
    "                       measure every top-level directory instead of\n"
    "                       just the System Data trees\n"
    "  Sorvel --report --json\n"
    "                       scan and print the report as JSON\n"
    "  Sorvel --report --progress\n"
    "                       also print each folder on standard error\n"
    "                       as soon as it has been measured\n"
    "  Sorvel --size PATH  measure one directory (compare against du -sk)\n"
    "  Sorvel --access     report which protected paths are readable\n"
    "  Sorvel --plan       dry-run the safe-to-clean recommendations and\n"
    "                       show what would move and what is refused.\n"
    "                       Never removes anything.\n"
    "  Sorvel --xcode      show what Xcode's caches are and the evidence\n"
    "                       for which of them are dead\n"
    "  Sorvel --apps       list every app with the files it left in ~/Library\n"
    "                       and the evidence for each match; Flatpak and snap\n"
    "                       apps (~/.var/app, ~/snap) are measured by --report\n"
    "  Sorvel --duplicates PATH\n"
    "                       find files with identical content and report\n"
    "                       what removing the copies would actually free\n"
    "                       \u2014 clones and hard links share their blocks,\n"
    "                       so it is usually less than their size\n"
    "  Sorvel --history    the log of every removal Sorvel has made\n"
    "  Sorvel --backups    identify every local iPhone & iPad backup \u2014\n"
    "                       which device, which iOS, when it was last\n"
    "                       made, and which are superseded\n"
    "  Sorvel --backups PATH\n"
    "                       the same for the backups in the folder PATH\n"
    "  Sorvel --docker     break down what Docker is holding: images,\n"
    "                       containers, volumes and build cache\n"
    "  Sorvel --watch PATH  scan a directory, then report changes live\n"
    "  Sorvel --cloud      report which iCloud services are on, and the\n"
    "                       evidence behind each answer\n"
    "  Sorvel --insights PATH\n"
    "                       explain one folder: file types, ages, biggest\n"
    "                       files, and what the folder actually is\n"
    "\n"
    "Nothing on this command line ever removes anything: --plan, --apps\n"
    "and --duplicates all report. In the app, removals go to the Trash\n"
    "after a dry run, are recorded in --history, and can be put back.\n"
    "\n"
    "Exit status: 0 when done; 1 for a path or file it cannot read (or\n"
    "a report it cannot write); 2 when there is no display to open the\n"
    "app on.";

int printUsage() { return ReportOutput::emit(std::string(kUsage) + "\n"); }

} // namespace

std::string_view usageText() { return kUsage; }

Dispatch dispatch(const std::vector<std::string>& args) {
    auto find = [&](std::string_view option) { return std::find(args.begin(), args.end(), option); };
    auto present = [&](std::string_view option) { return find(option) != args.end(); };
    // The value of an option is the argument right after its first occurrence; an
    // option standing last has none and counts as absent.
    auto valueOf = [&](std::string_view option) -> std::optional<std::string> {
        auto it = find(option);
        if (it == args.end() || it + 1 == args.end()) return std::nullopt;
        return *(it + 1);
    };

    Dispatch d;
    auto with = [&](Command c, std::string argument = {}) {
        d.command = c;
        d.argument = std::move(argument);
        return d;
    };
    if (auto v = valueOf("--insights")) return with(Command::insights, *v);
    if (present("--plan")) return with(Command::plan);
    if (present("--backups")) {
        d.root = valueOf("--backups");
        return with(Command::backups);
    }
    if (present("--apps")) return with(Command::apps);
    if (auto v = valueOf("--duplicates")) return with(Command::duplicates, *v);
    if (present("--history")) return with(Command::history);
    if (present("--xcode")) return with(Command::xcode);
    if (present("--docker")) return with(Command::docker);
    if (auto v = valueOf("--watch")) return with(Command::watch, *v);
    if (present("--cloud")) return with(Command::cloud);
    if (present("--access")) return with(Command::access);
    if (auto v = valueOf("--size")) return with(Command::size, *v);
    if (present("--report")) {
        d.json = present("--json");
        d.wholeDisk = present("--whole-disk");
        d.progress = present("--progress");
        return with(Command::report);
    }
    if (present("--help") || present("-h")) return with(Command::help);
    return with(Command::app);
}

int main(int argc, char** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const Dispatch d = dispatch(args);
    switch (d.command) {
    case Command::insights: return HeadlessReport::insights(d.argument);
    case Command::plan: return HeadlessReport::plan();
    case Command::backups: return HeadlessReport::backups(d.root);
    case Command::apps: return HeadlessReport::apps();
    case Command::duplicates: return HeadlessReport::duplicates(d.argument);
    case Command::history: return HeadlessReport::history();
    case Command::xcode: return HeadlessReport::xcode();
    case Command::docker: return HeadlessReport::docker();
    case Command::watch: return HeadlessReport::watch(d.argument);
    case Command::cloud: return HeadlessReport::cloud();
    case Command::access: return HeadlessReport::access();
    case Command::size: return HeadlessReport::size(d.argument);
    case Command::report:
        return HeadlessReport::run(d.json, d.wholeDisk ? ScanScope::wholeDisk : ScanScope::systemData, d.progress);
    // The executable opens the window itself before it gets here; with no headless
    // command to run, the usage text is the answer.
    case Command::help:
    case Command::app: return printUsage();
    }
    return 0;
}

} // namespace sorvel::SorvelMain
