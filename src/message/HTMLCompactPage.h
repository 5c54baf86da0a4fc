#pragma once

// A page as the HTML parser gets it, after a walk over its tags made before
// parsing: the walk bounds the nesting the parser would build
// (HTMLOpenElements) and, on the way, may shorten each run of plain text
// between tags, on which the parser spends most of its time. Safe on any
// input; linear in the page's length.

#include "HTMLReferenceScanner.h"

#include <QByteArray>
#include <QString>

#include <utility>
#include <vector>

struct HTMLCompactPage {
    enum class Shortening {
        None,
        // Each run one character: the page's structure without its text.
        ToOneCharacter,
        // Runs long enough, and whose character references this reads as
        // the parser would, become a marker holding the run's number, which
        // the parser passes into its text untouched (see takeMarker).
        ToMarker,
        // The elements alone: each run one character, as ToOneCharacter, and
        // comments and attributes left out where ToMarker leaves them out,
        // but those of <meta> kept.
        ToElements,
    };

    HTMLScan::Status status = HTMLScan::Status::Parsed;
    // What the parser reads (empty without shortening: the page itself).
    QByteArray compact;
    // Where each kept piece starts, in the compact text and in the page.
    std::vector<std::pair<qsizetype, qsizetype>> pieces;
    // ToMarker: each shortened run's place in the page (start, length).
    std::vector<std::pair<qsizetype, qsizetype>> runs;

    [[nodiscard]] static HTMLCompactPage make(const QByteArray &utf8, Shortening shortening);

    // A marker's first character, from the private use area, which no parser
    // step changes.
    static constexpr char16_t MarkerStart = 0xE000;
    // The marker at `at` in parsed text: its run's number, `at` moved past
    // it; -1 (and `at` unchanged) when no well-formed marker starts there.
    [[nodiscard]] static qsizetype takeMarker(const QString &text, qsizetype &at);
    // A shortened run's text as the parser would have read it: character
    // references resolved, line ends as line feeds.
    [[nodiscard]] static QString decodeRun(QByteArrayView run);
};
