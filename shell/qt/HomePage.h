// The Qt side of the occasional home-page visit at start-up: the draw of a
// number from 1 to 100 and the launch of the browser. When to launch is the
// window rules' decision.
#pragma once

#include <QUrl>
#include <functional>

namespace tessaly {

class HomePage {
public:
    using Draw = std::function<int()>;
    using Launch = std::function<void(const QUrl&)>;

    // A number from 1 to 100, from a fresh system seed.
    static int draw();
    // Opens `address` in the browser. Failures are ignored: the visit is a
    // courtesy, not part of the work.
    static void launch(const QUrl& address);

    // Replace the draw and the launch; tests use these so that no browser is
    // ever opened. An empty function restores the real one.
    static void setDraw(Draw draw);
    static void setLaunch(Launch launch);
};

} // namespace tessaly
