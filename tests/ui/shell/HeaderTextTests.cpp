#include <gtest/gtest.h>

#include <QLocale>

#include <clocale>

#include "platform/Graphemes.h"
#include "support/TestSupport.h"
#include "ui/shell/HeaderText.h"

using namespace sorvel;
using namespace sorvel::ui;
using Phase = ScanCoordinator::Phase;
using S = HeaderText::Status;

TEST(HeaderStatus, FirstMatchingCaseWins) {
    const Date now = dateFromUnixSeconds(1'800'000'000);
    const auto ago = [&](double s) { return std::optional<Date>(now - std::chrono::milliseconds(int64_t(s * 1000))); };
    struct Case {
        Phase phase;
        bool pending;
        std::optional<Date> live;
        bool hasResult;
        S expected;
    };
    const Case cases[] = {
        {Phase::scanning, true, ago(1), true, S::scanning},
        {Phase::done, true, ago(1), true, S::pendingChanges},
        {Phase::done, false, ago(19.9), true, S::updatedJustNow},
        {Phase::done, false, ago(20.0), true, S::finished},
        {Phase::done, false, ago(300), false, S::empty},
        {Phase::cancelled, false, std::nullopt, true, S::stopped},
        {Phase::cancelled, false, std::nullopt, false, S::stopped},
        {Phase::idle, false, std::nullopt, false, S::empty},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HeaderText::status(c.phase, c.pending, c.live, c.hasResult, now), c.expected);
}

// A stopped scan never reads as finished: it says so, and its tooltip says the figures are partial.
TEST(HeaderStatus, AStoppedScanSaysItStoppedAndItsFiguresArePartial) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(HeaderText::stoppedLine(true, 379'813, 3.04), "stopped · 379,813 files · 3.0s");
    EXPECT_EQ(HeaderText::stoppedLine(false, 0, 0.2), "scan stopped");
    EXPECT_TRUE(HeaderText::stoppedSentence(true).contains("partial"));
    EXPECT_FALSE(HeaderText::stoppedSentence(false).contains("partial"));
}

TEST(HeaderShortPath, CountsUserPerceivedCharactersNeverBytes) {
    test::FakeHome home;
    // 24 characters are shown whole; 25 become "…" and the last 23.
    const std::string p24 = "/srv/" + std::string(19, 'a');
    EXPECT_EQ(HeaderText::shortPath(p24), p24);
    const std::string p25 = p24 + "b";
    EXPECT_EQ(HeaderText::shortPath(p25), "…" + p25.substr(2));
    EXPECT_EQ(HeaderText::shortPath(""), "");
    EXPECT_EQ(HeaderText::shortPath(home.path() + "/Library"), "~/Library");

    // Accented letters (two bytes each), a decomposed é and a flag: never cut inside one.
    const std::string names[] = {"/srv/Ångström/Überprüfung/Café", "/srv/cafe\xCC\x81/\xF0\x9F\x87\xA9\xF0\x9F\x87\xAA/" + std::string(20, 'x'),
                                 "/srv/日本語のフォルダ/写真とビデオのバックアップ"};
    for (const auto& path : names) {
        const std::string shown = HeaderText::shortPath(path);
        const size_t n = Graphemes::characterCount(path);
        if (n >= 25) {
            EXPECT_EQ(Graphemes::characterCount(shown), 24u) << path;
            // What follows the ellipsis is a whole-character tail of the path.
            const std::string tail = shown.substr(std::string("…").size());
            EXPECT_TRUE(path.size() >= tail.size() && path.compare(path.size() - tail.size(), tail.size(), tail) == 0);
            const auto bounds = Graphemes::characterBoundaries(path);
            EXPECT_NE(std::find(bounds.begin(), bounds.end(), path.size() - tail.size()), bounds.end()) << path;
        } else {
            EXPECT_EQ(shown, path);
        }
    }
}

TEST(HeaderFilesAndDuration, DurationKeepsItsFullStopUnderAGermanLocale) {
    EXPECT_EQ(HeaderText::filesAndDuration(1234, 8.23), QString("1,234 files · 8.2s"));
    EXPECT_EQ(HeaderText::filesAndDuration(0, 0), QString("0 files · 0.0s"));
    const std::string old = std::setlocale(LC_NUMERIC, nullptr);
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QString text = HeaderText::filesAndDuration(1234, 8.23);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    std::setlocale(LC_NUMERIC, old.c_str());
    // Grouping follows the locale; the duration never does.
    EXPECT_EQ(text, QString("1.234 files · 8.2s")) << "C library German locale available: " << german;
}
