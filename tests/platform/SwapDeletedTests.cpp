// The kernel writes a swap file whose name was deleted as "/swapfile (deleted)": named as
// such, never taken for a file at that name unless one is there.
#include <gtest/gtest.h>

#include "platform/LinuxPlaces.h"
#include "support/TestSupport.h"

using namespace sorvel;

TEST(SwapDeleted, ADeletedSwapFileIsNamedApartFromTheFiles) {
    struct Case {
        const char* name;
        std::string rows;                 // after the header
        std::vector<std::string> present; // files made under the root
        std::vector<std::string> files, deleted;
    };
    const Case cases[] = {
        {"deleted", "/swapfile\\040(deleted) file 4 0 -2\n", {}, {}, {"/swapfile (deleted)"}},
        {"a file of that very name", "/swapfile\\040(deleted) file 4 0 -2\n", {"/swapfile (deleted)"},
         {"/swapfile (deleted)"}, {}},
        {"beside one in use", "/swap.img file 4 0 -2\n/old\\040(deleted) file 4 0 -3\n", {"/swap.img"}, {"/swap.img"},
         {"/old (deleted)"}},
        {"a name that only holds the words", "/x\\040(deleted)y file 4 0 -2\n", {}, {"/x (deleted)y"}, {}},
    };
    for (const auto& c : cases) {
        test::TempDir root;
        LinuxPlaces::ScopedSystemRoot fake(root.path());
        test::writeFile(root / "proc/swaps", "Filename Type Size Used Priority\n" + c.rows);
        for (const auto& file : c.present) test::writeFile(root.path() + file, "s");
        std::vector<std::string> files, deleted;
        for (const auto& f : c.files) files.push_back(root.path() + f);
        for (const auto& f : c.deleted) deleted.push_back(root.path() + f);
        const auto swaps = LinuxPlaces::swapFiles();
        EXPECT_EQ(swaps.files, files) << c.name;
        EXPECT_EQ(swaps.deleted, deleted) << c.name;
        EXPECT_FALSE(swaps.unreadable) << c.name;
    }
}
