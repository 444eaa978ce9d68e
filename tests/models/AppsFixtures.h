#pragma once
// One fake machine with an app and its leftovers of every kind, and a model whose
// inventory runs over that machine.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>

#include "analysis/AppInventory.h"
#include "models/AppsModel.h"
#include "models/ToolFixtures.h"

namespace sorvel::test {

struct OrchardMachine : ToolMachine {
    std::string bundle;
    std::string support;    // exact identifier, user Library
    std::string preference; // exact identifier after the extension is dropped
    std::string byName;     // matched by the app's name only
    std::string shared;     // in the shared /Library: needs an administrator

    OrchardMachine() {
        bundle = app("Orchard", std::string("com.example.orchard"), 20000);
        support = home("/Library/Application Support/com.example.orchard");
        writeFileOfSize(support + "/state.db", 30000);
        preference = home("/Library/Preferences/com.example.orchard.plist");
        writeFileOfSize(preference, 3000);
        byName = home("/Library/Caches/Orchard");
        writeFileOfSize(byName + "/blob", 8000);
        shared = system("/Library/Application Support/com.example.orchard");
        writeFileOfSize(shared + "/helper", 5000);
    }

    /// The real inventory over this machine; `adjust` may change what it found.
    AppsModel::Services services(std::function<void(std::vector<InstalledApp>&)> adjust = nullptr) const {
        AppsModel::Services s;
        const AppInventory::Places where = places();
        s.inventory = [where, adjust](ScanControl& control) {
            auto apps = AppInventory::scan(control, where);
            if (adjust) adjust(apps);
            return apps;
        };
        s.runningBundleIdentifiers = [] { return std::vector<std::string>{}; };
        return s;
    }
};

/// Marks every app as owned by someone else (CI runs as root, where nothing is).
inline void needAdministrator(std::vector<InstalledApp>& apps) {
    for (auto& app : apps) app.removability = InstalledApp::Removability::needsAdministrator();
}

/// Runs the first inventory and selects the first app.
inline void loadAndSelectFirst(AppsModel& model) {
    model.rescan();
    ASSERT_TRUE(waitFor([&] { return !model.isScanning(); }));
    ASSERT_FALSE(model.apps().empty());
    model.select(std::optional<InstalledApp>(model.apps().front()));
}

} // namespace sorvel::test
