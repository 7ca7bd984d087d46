// Shared set-up for the window tests: a private settings store, no browser,
// and a few helpers.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QObject;

namespace testsupport {

// Creates the application, points the settings store at a fresh temporary
// folder, replaces the home-page launch with a recorder and runs every test
// object. Returns the number of failures.
int runTests(int argc, char* argv[], QList<QObject*> (*makeTests)());

// The folder that holds the settings file of this run, and the file itself.
QString settingsFolder();
QString settingsFile();
// Empties the store.
void clearSettings();
// The stored value, or a null QString when the key is absent. Read from the
// file itself, not through the code under test.
QString storedValue(const QString& key);

// How often the home page was launched since the last call.
int takeHomePageLaunches();

// A tiny Windows cursor file: one 8x8 image with the given hot spot.
QByteArray makeCursorFile(int hotX, int hotY);

} // namespace testsupport
