#pragma once

#include "panekit/configuration.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

namespace panekit {

// Reads a configuration file into a Configuration. Parsing never builds widgets, so it
// can run (and be fuzzed) without a display. The first error stops the parse and is
// reported as "file, line: message"; the target configuration is then left untouched.
class ConfigParser {
public:
    // Parses a whole text. fileName only names the file in error messages.
    static bool load(const QByteArray& text, const QString& fileName, Configuration& into,
                     QString* error = nullptr);
    static bool load(QIODevice& stream, const QString& fileName, Configuration& into,
                     QString* error = nullptr);

    // Splits and braced blocks nested deeper than this are refused, so that hostile input
    // cannot exhaust the stack.
    static constexpr int maxNesting = 100;
};

} // namespace panekit
