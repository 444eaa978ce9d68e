// The uninstaller's texts and switches: subtitles, the removability table, row values,
// the footer, the Finder hand-off states and the review pane's stage machine.
#include <gtest/gtest.h>

#include "engine/Bytes.h"
#include "support/TestSupport.h"
#include "ui/tools/UninstallerRules.h"

using namespace sorvel;
using namespace sorvel::UninstallerRules;
using Stage = AppsModel::Stage;
using Removability = InstalledApp::Removability;

namespace {

InstalledApp app(Removability removability, std::optional<std::string> identifier = "com.example.orchard") {
    InstalledApp a;
    a.name = "Orchard";
    a.bundlePath = "/Applications/Orchard.app";
    a.bundleIdentifier = std::move(identifier);
    a.bundleSize = 20'000'000;
    a.removability = std::move(removability);
    return a;
}

CleanupOutcome outcome(std::string path, CleanupOutcome::Result result, int64_t size = 1'000'000) {
    return CleanupOutcome{UUID::random(), std::move(path), size, std::move(result)};
}

} // namespace

TEST(UninstallerSubtitle, PartsPresentJoinedByDotsAndTheCountKeepsItsPlural) {
    const Date now = dateFromUnixSeconds(1'800'000'000);
    InstalledApp a = app(Removability::removable());
    EXPECT_EQ(subtitle(a, now), "0 support files");
    a.leftovers.resize(1);
    EXPECT_EQ(subtitle(a, now), "1 support file");
    a.leftovers.resize(3);
    a.version = "2.4";
    a.lastUsed = now - std::chrono::hours(49);
    EXPECT_EQ(subtitle(a, now), "2.4 \u00B7 3 support files \u00B7 last opened 2 days ago");
}

TEST(UninstallerRemovability, EachKindDecidesTheBlockAndTheBundleBadge) {
    struct Case {
        Removability removability;
        RemovabilityBlock::Kind block;
        std::string body;
        bool needsAdmin;
    } cases[] = {
        {Removability::removable(), RemovabilityBlock::Kind::none, "", false},
        {Removability::needsAdministrator(), RemovabilityBlock::Kind::handoff, "", true},
        {Removability::sealed("on the sealed system volume"), RemovabilityBlock::Kind::warning,
         "on the sealed system volume", true},
        {Removability::selfProtected(), RemovabilityBlock::Kind::warning, "this is Sorvel", true},
    };
    for (const auto& c : cases) {
        const InstalledApp a = app(c.removability);
        const auto block = removabilityBlock(a);
        EXPECT_EQ(block.kind, c.block);
        EXPECT_EQ(block.body, c.body);
        if (block.kind == RemovabilityBlock::Kind::warning) {
            EXPECT_EQ(block.title, "Sorvel cannot move Orchard itself");
        }
        EXPECT_EQ(bundleRow(a).needsAdmin, c.needsAdmin);
    }
}

TEST(UninstallerRows, ANameMatchIsUncertainAndAnAdminLeftoverCannotBeTicked) {
    AppLeftover byName{"/home/u/Library/Caches/Orchard", 8000, "Caches", AppLeftover::Match::appNameMatch(), false};
    AppLeftover shared{"/Library/Application Support/x", 5000, "Application Support",
                       AppLeftover::Match::identifierPrefix("Orchard"), true};
    EXPECT_FALSE(leftoverRow(byName).certain);
    EXPECT_FALSE(leftoverRow(byName).needsAdmin);
    EXPECT_TRUE(leftoverRow(shared).certain);
    EXPECT_TRUE(leftoverRow(shared).needsAdmin);
    EXPECT_EQ(leftoverRow(shared).reason, "belongs to Orchard");
}

TEST(UninstallerFooter, PluralAndDisabling) {
    EXPECT_EQ(selectionCount(0), "0 items selected");
    EXPECT_EQ(selectionCount(1), "1 item selected");
    EXPECT_EQ(selectionCount(2), "2 items selected");
    EXPECT_FALSE(reviewEnabled(0, false));
    EXPECT_FALSE(reviewEnabled(3, true));
    EXPECT_TRUE(reviewEnabled(1, false));
}

TEST(UninstallerRunning, OnlyAnIdentifierTheRunningListCarriesCounts) {
    const std::vector<std::string> running{"com.example.orchard"};
    EXPECT_TRUE(isRunning(app(Removability::removable()), running));
    EXPECT_FALSE(isRunning(app(Removability::removable(), "com.example.other"), running));
    EXPECT_FALSE(isRunning(app(Removability::removable(), std::nullopt), running));
}

TEST(UninstallerHandoff, EveryStateHasItsTitleButtonAndEnabling) {
    using H = AppsModel::HandoffState;
    const InstalledApp a = app(Removability::needsAdministrator());
    const auto idle = handoff(H::idle(), a, false, true);
    EXPECT_EQ(idle.title, "Orchard needs an administrator");
    EXPECT_EQ(idle.action, Handoff::Action::moveWithFinder);
    EXPECT_TRUE(idle.enabled);
    EXPECT_EQ(idle.body.find("root"), std::string::npos) << "the owner is not known, so it is not named";

    const auto idleRunning = handoff(H::idle(), a, true, true);
    EXPECT_FALSE(idleRunning.enabled);
    EXPECT_EQ(idleRunning.body.rfind("Quit Orchard first \u2014", 0), 0u);

    const auto working = handoff(H::working(), a, false, true);
    EXPECT_EQ(working.button, "Waiting for the Finder\u2026");
    EXPECT_FALSE(working.enabled);
    EXPECT_TRUE(working.busy);
    EXPECT_FALSE(idleRunning.busy);
    EXPECT_EQ(working.action, Handoff::Action::none);

    const auto done = handoff(H::done("Orchard is in the Trash."), a, false, true);
    EXPECT_EQ(done.title, "Orchard is in the Trash.");
    EXPECT_EQ(done.action, Handoff::Action::openTrash);

    const auto failed = handoff(H::failed("The Finder is not available on this system."), a, true, true);
    EXPECT_EQ(failed.title, "That did not work");
    EXPECT_EQ(failed.body, "The Finder is not available on this system.");
    EXPECT_EQ(failed.button, "Try again");
    EXPECT_FALSE(failed.enabled);
}

TEST(UninstallerHandoff, TheBlockSaysWhoOwnsTheBundleAndThatThisUserCannotWriteIt) {
    const std::pair<std::string, std::string> cases[] = {
        {"nobody", "belongs to the account \u201Cnobody\u201D and this user cannot write it"},
        {"root", "belongs to the account \u201Croot\u201D and this user cannot write it"},
        {"", "belongs to another account and this user cannot write it"},
    };
    for (const auto& [owner, says] : cases) {
        for (bool available : {false, true}) {
            const auto h = handoff(AppsModel::HandoffState::idle(), app(Removability::needsAdministrator(owner)), false,
                                   available);
            EXPECT_NE(h.body.find(says), std::string::npos) << h.body;
            EXPECT_EQ(h.body.find("owned by root"), std::string::npos) << h.body;
        }
    }
}

TEST(UninstallerHandoff, WhereNoProgramCanTakeTheBundleNoButtonIsOffered) {
    using H = AppsModel::HandoffState;
    const InstalledApp a = app(Removability::needsAdministrator());
    for (const auto& state : {H::idle(), H::failed("The Finder could not be asked.")}) {
        for (bool running : {false, true}) {
            const auto h = handoff(state, a, running, false);
            EXPECT_EQ(h.title, "Orchard needs an administrator");
            EXPECT_TRUE(h.button.empty() && h.action == Handoff::Action::none) << "a button that can only fail";
            EXPECT_NE(h.body.find("an administrator must remove it."), std::string::npos) << h.body;
            EXPECT_EQ(h.body.find("Finder"), std::string::npos) << h.body;
        }
    }
}

TEST(UninstallerOutcomes, ReasonsBySymbolAndTone) {
    const auto moved = outcomeLook(CleanupOutcome::MovedToTrash{"/t"});
    EXPECT_EQ(moved.reason, "in the Trash \u2014 recoverable");
    const auto refused = outcomeLook(CleanupOutcome::Refused{CleanupGuard::Refusal::notFound()});
    EXPECT_EQ(refused.reason, "Refused: no longer exists");
    EXPECT_EQ(refused.tone, OutcomeLook::Tone::warning);
    const auto failed = outcomeLook(CleanupOutcome::Failed{"Permission denied"});
    EXPECT_EQ(failed.reason, "Could not move: Permission denied");
    EXPECT_EQ(failed.tone, OutcomeLook::Tone::rose);
    EXPECT_FALSE(outcomeLook(CleanupOutcome::WouldMove{}).reason.has_value());
    EXPECT_EQ(allowedCaption(Stage::reviewing), "Will be moved to the Trash");
    EXPECT_EQ(allowedCaption(Stage::done), "Moved to the Trash");
}

TEST(UninstallerReview, TitlesAndButtonsFollowTheStage) {
    const InstalledApp a = app(Removability::removable());
    const std::vector<CleanupOutcome> dry{outcome(a.bundlePath, CleanupOutcome::WouldMove{}, 2'000'000),
                                          outcome("/x", CleanupOutcome::Refused{CleanupGuard::Refusal::notFound()})};
    EXPECT_EQ(reviewTitle(Stage::reviewing, a, 1, dry), "Dry run \u2014 nothing has been moved");
    EXPECT_EQ(reviewTitle(Stage::confirming, a, 1, dry), "Move 1 item to the Trash?");
    EXPECT_EQ(reviewTitle(Stage::working, a, 1, dry), "Moving Orchard to the Trash\u2026");
    EXPECT_EQ(reviewSubtitle(Stage::confirming, dry),
              "These go to the Trash, not deleted. 2 MB will be freed once you empty it.");

    const auto reviewing = reviewFooter(Stage::reviewing, 1, true);
    ASSERT_EQ(reviewing.size(), 2u);
    EXPECT_FALSE(reviewing[1].enabled); // still previewing
    EXPECT_FALSE(reviewFooter(Stage::reviewing, 0, false)[1].enabled);
    EXPECT_TRUE(reviewFooter(Stage::reviewing, 1, false)[1].enabled);
    const auto confirming = reviewFooter(Stage::confirming, 1, false);
    EXPECT_EQ(confirming[0].action, FooterButton::Action::cancel);
    EXPECT_EQ(confirming[1].title, "Move 1 to Trash");
    const auto working = reviewFooter(Stage::working, 1, false);
    ASSERT_EQ(working.size(), 1u);
    EXPECT_FALSE(working[0].enabled);
    EXPECT_TRUE(working[0].busy) << "\"Moving\u2026\" is inert at full ink";
    EXPECT_FALSE(reviewing[1].busy) << "a move not yet possible is drawn faint";
    EXPECT_EQ(reviewFooter(Stage::done, 1, false)[0].action, FooterButton::Action::done);
}

TEST(UninstallerReview, TheDoneTitleSaysWhatReallyMoved) {
    const InstalledApp a = app(Removability::removable());
    const CleanupOutcome bundle = outcome(a.bundlePath, CleanupOutcome::MovedToTrash{"/t/Orchard.app"});
    const CleanupOutcome support = outcome("/h/Library/x", CleanupOutcome::MovedToTrash{"/t/x"});
    const CleanupOutcome cache = outcome("/h/Library/y", CleanupOutcome::MovedToTrash{"/t/y"});
    const CleanupOutcome bundleFailed = outcome(a.bundlePath, CleanupOutcome::Failed{"busy"});
    EXPECT_EQ(reviewTitle(Stage::done, a, 0, {bundle, support}), "Orchard was moved to the Trash");
    EXPECT_EQ(reviewTitle(Stage::done, a, 0, {bundleFailed, support}), "1 item of Orchard was moved to the Trash");
    EXPECT_EQ(reviewTitle(Stage::done, a, 0, {bundleFailed, support, cache}),
              "2 items of Orchard were moved to the Trash");
    EXPECT_EQ(reviewTitle(Stage::done, a, 0, {bundleFailed}), "Nothing of Orchard was moved");
    EXPECT_EQ(reviewSubtitle(Stage::done, {bundleFailed, support}).rfind("1 MB moved.", 0), 0u);
}

// A bundle or record not read: each text says so, never a count, size or "nothing matches" it could not know.
TEST(UninstallerUnread, EachTextOfTheDetailSaysWhatWasNotRead) {
    const Date now = dateFromUnixSeconds(1'800'000'000);
    InstalledApp unread = app(Removability::removable(), std::nullopt), partly = app(Removability::removable());
    unread.bundleReadable = false;
    unread.bundleSize = 0;
    unread.infoRefused = true;
    partly.bundlePartlyRead = true;
    InstalledApp withLeftover = unread;
    withLeftover.leftovers.push_back(AppLeftover{"/h/Library/Caches/Orchard", 4096, "Cache", {}, false});
    const std::string bundle = unread.bundlePath;
    using Ticked = std::vector<CleanupExecutor::PathSize>;
    const struct { const char* name; InstalledApp app; Ticked ticked; std::string subtitle, size, none; } rows[] = {
        {"nothing read, bundle ticked", unread, {{bundle, 0}}, "identifier not readable", "not readable",
         "Nothing else on this computer matches this app's name. Its identifier is not readable by this user, so "
         "files named after it could not be looked for."},
        {"nothing read, a leftover ticked too", withLeftover, {{bundle, 0}, {"/h/Library/Caches/Orchard", 4096}},
         "1 support file by name \u00B7 identifier not readable", "at least 4 KB", ""},
        {"read in part", partly, {{bundle, 20'000'000}}, "0 support files", "at least 20 MB",
         "Nothing else on this computer matches this app's identifier or name."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(subtitle(row.app, now), row.subtitle);
        EXPECT_EQ(selectionSize(row.app, row.ticked), row.size);
        const auto moved = outcome(bundle, CleanupOutcome::WouldMove{}, row.app.bundleSize);
        EXPECT_EQ(outcomeSize(row.app, moved), row.app.bundleReadable ? Bytes::format(20'000'000) : "not readable");
        const bool atLeast = reviewSubtitle(Stage::confirming, {moved}, row.app).find("At least ") != std::string::npos;
        EXPECT_EQ(atLeast, !row.app.bundleReadable);
        if (!row.none.empty()) { EXPECT_EQ(noLeftoversText(row.app), row.none); }
    }
}

// A leftover an app of unknown identity may own says so and is not shown as certain.
TEST(UninstallerUnread, ALeftoverInDoubtSaysThatSomeAppsCouldNotBeRead) {
    using Match = AppLeftover::Match;
    const struct {
        const char* name;
        Match match;
        bool doubt, partly;
        std::string reason;
        bool certain;
    } rows[] = {
        {"by prefix, in doubt", Match::identifierPrefix("Orchard"), true, false,
         "belongs to Orchard \u00B7 some apps could not be read, and this may be one of theirs", false},
        {"by name, in doubt, read in part", Match::appNameMatch(), true, true,
         "matches the app's name \u00B7 part of it is not readable by this user \u00B7 some apps could not be read, "
         "and this may be one of theirs",
         false},
        {"by prefix, every app read", Match::identifierPrefix("Orchard"), false, false, "belongs to Orchard", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        AppLeftover leftover{"/h/Library/Caches/com.example.orchard.x", 4096, "Cache", row.match, false, row.partly,
                             row.doubt};
        const Row r = leftoverRow(leftover);
        EXPECT_EQ(r.reason, row.reason);
        EXPECT_EQ(r.certain, row.certain);
    }
    // A malformed Info.plist is no refusal: the app's identifier could not be read all the same.
    InstalledApp malformed = app(Removability::removable(), std::nullopt);
    malformed.identityUnread = true;
    EXPECT_EQ(subtitle(malformed, dateFromUnixSeconds(1'800'000'000)), "identifier not readable");
    EXPECT_EQ(noLeftoversText(malformed), "Nothing else on this computer matches this app's name. Its identifier could "
                                          "not be read, so files named after it could not be looked for.");
}

// An empty list says why, naming where apps were looked for.
TEST(UninstallerList, AnEmptyListSaysWhyAndWhereItLooked) {
    test::FakeHome home;
    const std::string h = home.path();
    const struct {
        const char* name;
        size_t found;
        AppsModel::Looked looked;
        std::string text;
    } rows[] = {
        {"apps found, none listed", 2, {{"/Applications"}, {}},
         "Sorvel found 2 apps, none of which it can remove: apps of the system and Sorvel itself are never listed."},
        {"nothing in the folders", 0, {{"/Applications", h + "/Applications"}, {}},
         "No apps are listed: no app bundle was found in /Applications or ~/Applications. Flatpak and snap apps are "
         "not listed as apps."},
        {"folders that could not be read", 0, {{"/Applications", h + "/Applications", "/opt/apps"}, {"/Applications", "/opt/apps"}},
         "No apps are listed: this user may not read /Applications and /opt/apps, where apps are looked for."},
        {"no folder at all", 0, {{}, {}}, "No apps are listed: there was no folder to look for apps in."},
    };
    for (const auto& row : rows) EXPECT_EQ(emptyListText(row.found, row.looked), row.text) << row.name;
}
