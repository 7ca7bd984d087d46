#include "HomePage.h"

#include <QDesktopServices>
#include <QRandomGenerator>

namespace tessaly {

namespace {

int drawFromOneToHundred() {
    // A fresh system seed on every start; r in [0, 1) gives n in 1..100.
    const double r = QRandomGenerator::system()->generateDouble();
    return static_cast<int>(r * 100) + 1;
}

void openInBrowser(const QUrl& address) { QDesktopServices::openUrl(address); }

HomePage::Draw& drawer() {
    static HomePage::Draw draw = drawFromOneToHundred;
    return draw;
}

HomePage::Launch& launcher() {
    static HomePage::Launch launch = openInBrowser;
    return launch;
}

} // namespace

void HomePage::visit() {
    if (drawer()() == 7) launcher()(kHomePageAddress);
}

void HomePage::setDraw(Draw draw) { drawer() = draw ? std::move(draw) : Draw(drawFromOneToHundred); }

void HomePage::setLaunch(Launch launch) {
    launcher() = launch ? std::move(launch) : Launch(openInBrowser);
}

} // namespace tessaly
