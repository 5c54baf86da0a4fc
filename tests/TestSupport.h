#pragma once

#include <QByteArray>
#include <QString>
#include <QVariantList>

#include <csignal>

#include <sys/resource.h>

// Unoptimised builds with AddressSanitizer take many times as long as
// optimised ones: tests that bound or size work by it ask this.
#if defined(__SANITIZE_ADDRESS__)
#define CORV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORV_ADDRESS_SANITIZER 1
#endif
#endif
#ifdef CORV_ADDRESS_SANITIZER
inline constexpr bool UnderAddressSanitizer = true;
#else
inline constexpr bool UnderAddressSanitizer = false;
#endif

// The seeds of a randomized test: `count` of them from 1, unless the
// environment names others (<prefix>_SEQUENCES, <prefix>_FIRST_SEED), so
// that a longer run on new seeds needs no change to the test.
struct SeedRange {
    unsigned first = 1;
    unsigned count = 0;
};
inline SeedRange randomizedSeeds(const char *prefix, unsigned count)
{
    const QByteArray name(prefix);
    const QByteArray sequences = qgetenv((name + "_SEQUENCES").constData());
    return {unsigned(qEnvironmentVariableIntValue((name + "_FIRST_SEED").constData())) + 1,
            sequences.isEmpty() ? count : sequences.toUInt()};
}

// Path of a checked-in file below tests/data.
QString testDataPath(const QString &relative);

// Whole contents of a file, or an empty array when it cannot be read.
QByteArray readWholeFile(const QString &path);

// Sets the process's time zone for as long as it lives.
class TimeZone {
public:
    explicit TimeZone(const char *zone);
    ~TimeZone();
    TimeZone(const TimeZone &) = delete;
    TimeZone &operator=(const TimeZone &) = delete;

private:
    QByteArray m_old;
    bool m_had;
};

// Makes the file system refuse every write past `bytes` for as long as it
// lives, as a full disk would: writes fail (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;
    // False when the limit could not be set.
    [[nodiscard]] bool isSet() const { return m_set; }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = SIG_DFL;
    bool m_set = false;
};

// The font of new messages as the preferences file stores it (a null value
// for a key with nothing stored). The tests of a program share one process
// and so one file, and this font decides how every later test's messages and
// windows look: TestMain fails a test that leaves it changed.
QVariantList storedFontOfNewMessages();

// Puts the font of new messages back as it was stored, keys with nothing
// stored included, when it goes.
class FontOfNewMessagesKept {
public:
    FontOfNewMessagesKept() : m_stored(storedFontOfNewMessages()) {}
    ~FontOfNewMessagesKept();
    FontOfNewMessagesKept(const FontOfNewMessagesKept &) = delete;
    FontOfNewMessagesKept &operator=(const FontOfNewMessagesKept &) = delete;

private:
    QVariantList m_stored;
};
