#pragma once

// Reads the preference files of Mozilla's programs ("prefs.js"): one
// statement per preference,
//     user_pref("mail.smtpserver.smtp1.hostname", "smtp.example.org");
// (also "pref" and "sticky_pref", which may carry the attributes "sticky"
// and "locked"). A value is a string in double or single quotes with the
// escapes \" \' \\ \n \r \xNN \uNNNN (never NUL), true, false, or a signed
// 32-bit integer. Comments: "#" and "//" to the end of the line, "/* */".
// As in Mozilla's own parser, a statement with an error is skipped up to
// its ";" and reading goes on; a later statement for the same name wins.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <variant>

class PrefsJsParser {
public:
    using Value = std::variant<QString, bool, int>;
    // Called for every well-formed statement, in file order.
    using Sink = std::function<void(const QString &name, const Value &value)>;

    // Warnings kept per file; further ones are only counted.
    static constexpr int MaxWarnings = 20;

    // False when the text is refused as a whole (a NUL byte or bytes that
    // are not UTF-8); the reason, and the statements skipped, go to warnings.
    static bool parse(const QByteArray &text, const Sink &sink, QStringList *warnings);
};
