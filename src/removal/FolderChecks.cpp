#include "removal/FolderChecks.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "platform/Concurrency.h"
#include "platform/Path.h"
#include "platform/Text.h"

namespace sorvel::FolderChecks {
namespace {

// Never destroyed: a check held by a hung disk may end after the process began to exit,
// and it must find this still there.
struct Registry {
    std::mutex mutex;
    std::condition_variable ended;
    std::set<std::string> folders; // standardised, while their check runs
};

Registry& registry() {
    static Registry* const shared = new Registry;
    return *shared;
}

struct Job {
    std::string folder;
    Check check;
    std::function<void(std::optional<std::string>)> answered;
    std::function<void(const std::string&)> failed;
};

void runJob(std::unique_ptr<Job> job, const std::string& key) {
    std::optional<std::string> verdict;
    std::optional<std::string> error;
    try {
        verdict = job->check(job->folder);
    } catch (...) {
        error = failureText(std::current_exception());
    }
    try {
        if (error) job->failed(*error);
        else job->answered(std::move(verdict));
    } catch (...) {
        // Nobody is left to hear it; the check still ends below.
    }
    job.reset(); // what the caller gave goes before the check counts as ended
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.folders.erase(key);
    r.ended.notify_all();
}

std::string shownName(const std::string& folder) { return validUTF8(tildeAbbreviated(standardizePath(folder))); }

} // namespace

std::string notAnswering(const std::string& folder, const char* consequence) {
    return "\u201C" + shownName(folder) +
           "\u201D did not answer in time (its disk may be disconnected or not responding), " + consequence;
}

bool start(const std::string& folder, Check check, std::function<void(std::optional<std::string>)> answered,
           std::function<void(const std::string& reason)> failed) {
    const std::string key = standardizePath(folder);
    auto job = std::make_unique<Job>(Job{folder, std::move(check), std::move(answered), std::move(failed)});
    Registry& r = registry();
    {
        std::lock_guard lock(r.mutex);
        if (!r.folders.insert(key).second) return false;
    }
    try {
        std::thread([job = std::move(job), key]() mutable { runJob(std::move(job), key); }).detach();
    } catch (...) {
        // No thread (a process limit, or memory): the folder is free to be checked again,
        // and the caller says why this check could not run.
        std::lock_guard lock(r.mutex);
        r.folders.erase(key);
        r.ended.notify_all();
        throw;
    }
    return true;
}

std::vector<std::string> sweepable(const std::vector<std::string>& folders, std::vector<std::string>& refused,
                                   const Check& check, std::chrono::milliseconds deadline) {
    // Each folder's answer, shared with its thread, which may outlive this call.
    struct Answers {
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::optional<std::optional<std::string>>> verdicts; // none until it answers
        size_t pending = 0;
    };
    auto answers = std::make_shared<Answers>();
    answers->verdicts.resize(folders.size());
    const auto until = std::chrono::steady_clock::now() + deadline;

    std::vector<size_t> sameAs(folders.size()); // a folder listed twice is checked once
    for (size_t i = 0; i < folders.size(); ++i) {
        sameAs[i] = i;
        for (size_t j = 0; j < i; ++j)
            if (standardizePath(folders[j]) == standardizePath(folders[i])) {
                sameAs[i] = j;
                break;
            }
        if (sameAs[i] != i) continue;
        auto give = [answers, i](std::optional<std::string> verdict) {
            std::lock_guard lock(answers->mutex);
            answers->verdicts[i] = std::move(verdict);
            --answers->pending;
            answers->changed.notify_all();
        };
        const std::string folder = folders[i];
        auto threw = [give, folder](const std::string& reason) {
            give("Sorvel could not finish checking \u201C" + shownName(folder) + "\u201D (" + reason +
                 "), so it was not swept.");
        };
        {
            std::lock_guard lock(answers->mutex);
            ++answers->pending;
        }
        bool started = false;
        try {
            started = start(folder, check, give, threw);
        } catch (const std::exception& e) {
            threw(e.what()); // no thread for its check: said, and the folder left out
            continue;
        }
        if (!started) {
            std::lock_guard lock(answers->mutex);
            --answers->pending; // held by an earlier check: answered below as not answering
        }
    }

    std::unique_lock lock(answers->mutex);
    answers->changed.wait_until(lock, until, [&] { return answers->pending == 0; });
    std::vector<std::string> kept;
    for (size_t i = 0; i < folders.size(); ++i) {
        const auto& verdict = answers->verdicts[sameAs[i]];
        if (!verdict) refused.push_back(notAnswering(folders[i], kNotSwept));
        else if (*verdict) refused.push_back(**verdict);
        else kept.push_back(folders[i]);
    }
    return kept;
}

size_t running() {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    return r.folders.size();
}

bool waitForAll(std::chrono::milliseconds bound) {
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    return r.ended.wait_for(lock, bound, [&] { return r.folders.empty(); });
}

} // namespace sorvel::FolderChecks
