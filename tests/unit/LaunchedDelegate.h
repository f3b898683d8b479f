#pragma once
// A delegate on the fakes, launched the way the framework launches it.

#include <optional>
#include <string>

#include "app/AppDelegate.h"
#include "fakes/FakePlatform.h"

namespace kivora::testing {

inline const std::string kHelperId = "org.morvane.Kivora.KivoraData";
inline const std::string kMainAppId = "org.morvane.Kivora";

struct LaunchedDelegate {
    fake::FakePlatform fakes;  // declared first: outlives the delegate
    AppDelegate delegate{fakes.platform()};

    LaunchedDelegate() { delegate.applicationDidFinishLaunching(); }

    // Delivers through the fake center's filters; returns how many observers it reached.
    int post(const std::string& name, const std::optional<std::string>& object = kHelperId) {
        return fakes.center.deliver(name, object);
    }
};

}  // namespace kivora::testing
