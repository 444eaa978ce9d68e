// The desktop's folder list read as the desktop reads it.
#include <gtest/gtest.h>

#include "platform/UserDirs.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(UserDirs, ThePicturesFolderIsReadAsTheDesktopWritesIt) {
    test::TempDir root;
    const std::string h = root / "home/ann";
    test::makeDirs(h);
    const std::string key = "XDG_PICTURES_DIR";
    struct Case {
        std::string text;
        std::optional<std::string> folder;
    };
    const Case cases[] = {
        {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n",
         h + "/Bilder"},
        {"XDG_PICTURES_DIR=\"/data/Fotos/\"", "/data/Fotos"},
        {"  XDG_PICTURES_DIR = \"$HOME/Meine \\\"Bilder\\\"\"\n", h + "/Meine \"Bilder\""},
        {"XDG_PICTURES_DIR=\"$HOME/a\"\nXDG_PICTURES_DIR=\"$HOME/b\"\n", h + "/b"}, // the last line wins
        {"XDG_PICTURES_DIR=\"$HOME/../ann/Fotos\"", h + "/Fotos"},
        {"XDG_PICTURES_DIR=\"$HOME/\"", std::nullopt}, // the home: no such folder
        {"XDG_PICTURES_DIR=\"$HOME\"", std::nullopt},
        {"XDG_PICTURES_DIR=\"" + h + "\"", std::nullopt},
        {"#XDG_PICTURES_DIR=\"$HOME/Bilder\"", std::nullopt},
        {"XDG_PICTURES_DIR=$HOME/Bilder", std::nullopt}, // not quoted: not read by the desktop either
        {"XDG_PICTURES_DIR=\"Bilder\"", std::nullopt},
        {"XDG_PICTURES_DIRS=\"$HOME/Bilder\"", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(UserDirs::folderIn(c.text, key, h), c.folder) << c.text;
}

TEST(UserDirs, TheFileIsFoundUnderTheConfigFolderAndAnUnreadableOneIsSaid) {
    test::FakeHome home;
    const std::string h = home.path();
    {
        test::ScopedEnv config("XDG_CONFIG_HOME", std::nullopt);
        EXPECT_EQ(UserDirs::pictures().folder, std::nullopt); // no file: only ~/Pictures
        EXPECT_EQ(UserDirs::pictures().unreadable, std::nullopt);
        test::writeFile(h + "/.config/user-dirs.dirs", "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
        EXPECT_EQ(UserDirs::pictures().folder, h + "/Bilder");
    }
    {
        test::ScopedEnv config("XDG_CONFIG_HOME", h + "/cfg");
        test::makeDirs(h + "/cfg/user-dirs.dirs");
        const auto lookup = UserDirs::pictures();
        EXPECT_EQ(lookup.folder, std::nullopt);
        ASSERT_TRUE(lookup.unreadable.has_value());
        EXPECT_NE(lookup.unreadable->find("directory"), std::string::npos) << *lookup.unreadable;
    }
    test::ScopedEnv relative("XDG_CONFIG_HOME", "cfg"); // relative: ignored
    EXPECT_EQ(UserDirs::filePath(), h + "/.config/user-dirs.dirs");
}
