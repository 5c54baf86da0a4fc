#pragma once

// Reads vCard data (2.1, 3.0 and 4.0, one or many cards) into contacts.
//
// Cards are found on whole unfolded lines "BEGIN:VCARD" and "END:VCARD",
// never by searching the text, so a note that mentions "END:VCARD" or a 2.1
// AGENT holding a card of its own does not cut a card short; nested cards
// are read over. Each value is decoded on its own: quoted-printable, then its
// CHARSET, else UTF-8, else Windows-1252. Everything is bounded, and what a
// bound or a broken card costs is counted for the caller to report.

#include "Person.h"

#include <QByteArray>
#include <QList>

struct VCardReadResult {
    // Cards of people and organisations, in file order.
    QList<Person> persons;
    // KIND:group cards, in file order.
    QList<Person> groups;
    // Cards that yield nobody: cut short, empty, or past the card limit.
    int skippedCards = 0;
    // Values left out by a bound: too long, or past a card's property limit.
    int droppedValues = 0;
    // The data is larger than MaxInputBytes and was not read.
    bool tooLarge = false;
};

// What importing vCard data into a table made of it, for the caller to report.
struct VCardImportSummary {
    int addedEntries = 0;
    int skippedCards = 0;
    int droppedValues = 0;
    bool tooLarge = false;
};

class VCard {
public:
    static constexpr qsizetype MaxInputBytes = qsizetype(256) << 20;
    static constexpr int MaxCards = 1'000'000;
    static constexpr int MaxPropertiesPerCard = 50'000;
    static constexpr int MaxCategoriesPerCard = 1'000;
    // AGENT cards inside AGENT cards whose versions are followed; deeper
    // ones are read over all the same.
    static constexpr int MaxNesting = 8;

    [[nodiscard]] static VCardReadResult personsFromVCard(const QByteArray &data);
};
