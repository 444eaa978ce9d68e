// Revealing an item: the file manager first, then its folder through the launcher, and a
// message only when neither took it.
#include <gtest/gtest.h>

#include <QStringList>

#include "ui/services/DesktopServices.h"

using sorvel::ui::DesktopServices;

TEST(DesktopServices, RevealTellsTheUserOnlyWhenNothingShowsTheItem) {
    struct Case {
        bool fileManagerAnswers;
        bool launcherOpens;
        QStringList expectedFolders;
        bool told;
    };
    const std::string path = "/home/me/Library/Caches/com.example.app";
    const Case cases[] = {
        {true, true, {}, false},
        {true, false, {}, false},
        {false, true, {"/home/me/Library/Caches"}, false},
        {false, false, {"/home/me/Library/Caches"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fileManagerAnswers << c.launcherOpens);
        QStringList shown, folders, messages;
        DesktopServices::RevealSteps steps;
        steps.showItems = [&](const QString& uri) { shown << uri; return c.fileManagerAnswers; };
        steps.openFolder = [&](const QString& folder) { folders << folder; return c.launcherOpens; };
        steps.tell = [&](const QString& message) { messages << message; };
        DesktopServices::system(steps)->reveal(path);
        EXPECT_EQ(shown, QStringList{"file:///home/me/Library/Caches/com.example.app"});
        EXPECT_EQ(folders, c.expectedFolders);
        ASSERT_EQ(messages.size(), c.told ? 1 : 0);
        if (c.told) {
            EXPECT_TRUE(messages[0].contains(QString::fromStdString(path)));
        }
    }
}
