#include "HomePage.h"

#include <QDesktopServices>
#include <QRandomGenerator>

#include "Form1Rules.h"

namespace tessaly {

namespace {

int drawFromOneToHundred() { return drawnNumber(QRandomGenerator::system()->generateDouble()); }

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

int HomePage::draw() { return drawer()(); }

void HomePage::launch(const QUrl& address) { launcher()(address); }

void HomePage::setDraw(Draw draw) { drawer() = draw ? std::move(draw) : Draw(drawFromOneToHundred); }

void HomePage::setLaunch(Launch launch) {
    launcher() = launch ? std::move(launch) : Launch(openInBrowser);
}

} // namespace tessaly
