// The occasional visit of the maker's home page at start-up: a number is
// drawn from 1 to 100 and the page opens in the browser when it is 7.
#pragma once

#include <QUrl>
#include <functional>

namespace tessaly {

inline const QUrl kHomePageAddress{QStringLiteral("https://www.orvane.example/")};

class HomePage {
public:
    using Draw = std::function<int()>;
    using Launch = std::function<void(const QUrl&)>;

    // Draws, and opens the home page when the number is 7. Failures of the
    // launch are ignored: the visit is a courtesy, not part of the work.
    static void visit();

    // Replace the draw (a number from 1 to 100) and the launch; tests use
    // these so that no browser is ever opened. An empty function restores
    // the real one.
    static void setDraw(Draw draw);
    static void setLaunch(Launch launch);
};

} // namespace tessaly
