// Helpers shared by the widget tests.
#pragma once

#include <QCoreApplication>
#include <QEvent>

namespace tw::test {

// Windows closed by the user delete themselves later; the tests run no event
// loop, so they finish those deletions here.
inline void RunDeferredDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Pixels at 96 dpi as the window scales them on the test screen.
inline int Scaled(const QWidget& widget, int pixels) {
    return qRound(pixels * widget.logicalDpiX() / 96.0);
}

}  // namespace tw::test
