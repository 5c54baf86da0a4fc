#include "RecipientHistoryDriver.h"

#include "RecipientCommands.h"

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "Database.h"
#include "MessageTab.h"
#include "Person.h"
#include "SimpleTag.h"
#include "TagPasteboard.h"

#include <QHash>
#include <QMap>
#include <QMimeData>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QUndoStack>

#include <algorithm>

namespace {

// A field as the driver knows it, by its position in the driver's list:
// its tags tell which field of the table it is.
struct Field {
    SimpleTagRef tag;
    qsizetype rule = 0;
    bool numbered = false;
};

// Where a field's name is read: a tag, or the rule of a condition (then
// `rule` is its index).
struct Place {
    SimpleTagRef tag;
    qsizetype rule = -1;

    [[nodiscard]] std::pair<const SimpleTag *, qsizetype> key() const { return {tag.get(), rule}; }
    [[nodiscard]] QString name() const
    {
        return rule < 0 ? tag->tagName() : static_cast<const ConditionTag &>(*tag).dataArray().value(rule).field;
    }
    [[nodiscard]] quint64 mark() const
    {
        return rule < 0 ? tag->takenBy() : static_cast<const ConditionTag &>(*tag).dataArray().value(rule).takenBy;
    }
};

// The places of a text in the order its tags and rules come, depth first,
// so that a pasted copy's places pair with the copied ones.
void collectPlaces(const RichText &text, QList<Place> &places)
{
    for (const SimpleTagRef &tag : AttributedTagString::tags(text)) {
        const auto *condition = dynamic_cast<const ConditionTag *>(tag.get());
        if (!condition) {
            places.append({tag});
            continue;
        }
        for (qsizetype i = 0; i < condition->dataArray().size(); ++i)
            places.append({tag, i});
        for (const ConditionRule &rule : condition->dataArray())
            collectPlaces(rule.result, places);
    }
}

// A place's owner: a driver's field, or none (a tag pasted from elsewhere
// without a name, which keeps none).
constexpr int Nobody = -1;
// Not followed: pasted from elsewhere under a name no field had then.
constexpr int Untracked = -2;

// A typed cell: the row and the driver's field.
using Cell = std::pair<const Database::Entry *, int>;

// What a step wrote over a typed cell, for its undo and redo to put back.
struct Written {
    Cell cell;
    QString was;
    QString now;
};

// What the driver knows of a step on the stack.
struct Record {
    QList<Written> written;
    // A field's removal: taking the address column's field, it leaves none.
    bool removal = false;
    // The driver's fields, -1 for none.
    int addressBefore = -1;
    int addressAfter = -1;
};

bool isNumber(const QString &text)
{
    bool ok = false;
    text.toLongLong(&ok);
    return ok;
}

// Who a value belongs to: "T<field>.<n>" was typed under a driver's field,
// "I<import>.<column>.<n>" came from a column of an import.
const QRegularExpression &tokens()
{
    static const QRegularExpression pattern(QStringLiteral("T(\\d+)\\.\\d+|I(\\d+\\.[A-Za-z0-9]+)\\.\\d+"));
    return pattern;
}

// What the address clean-up makes of an address.
QString cleaned(QString address)
{
    address.remove(QRegularExpression(QStringLiteral("[\\s,]")));
    return address;
}

} // namespace

struct RecipientHistoryDriver::State {
    Choose choose;
    Database db;
    QUndoStack stack;
    MessageTab message;
    RecipientCommands commands{&db, &stack};
    std::shared_ptr<ConditionTag> condition = std::make_shared<ConditionTag>(QStringLiteral("condition"),
                                                                             QList<ConditionRule>());
    QList<Field> fields;
    // Every place the driver knows a name is read from (the fields' tags
    // and rules, the copies pasted since), whose it is and where it went.
    struct Known {
        Place place;
        int field = Nobody;
        QString what;
    };
    QList<Known> known;
    QHash<std::pair<const SimpleTag *, qsizetype>, qsizetype> knownAt;
    // What was cut, in order: the view's undo history, where the message's
    // renames reach the tags as they reach its own.
    QList<RichText> history;
    // The clipboard: what the last Cut or Copy put there, whose each of its
    // places was and the name it read.
    struct Clip {
        std::unique_ptr<QMimeData> data;
        QList<int> owners;
        QStringList names;
        bool fromOtherDocument = false;
        QString what;
    };
    std::optional<Clip> clip;
    // Stands for another document's window.
    QObject otherDocument;
    int pastes = 0;
    QStringList log;
    int counter = 0;
    int imports = 0;
    bool ended = false;
    // A fault a step found on its way.
    QString fault;

    // Typed cells and what they should show; the rows are kept alive so
    // that their addresses stay theirs.
    QHash<Cell, QString> typed;
    QHash<const Database::Entry *, Database::EntryRef> rows;
    QHash<const QUndoCommand *, Record> records;
    // Import column ("<import>.<column>") to the driver's fields it went to
    // (a card's address goes to the address column and to its labelled field).
    QHash<QString, QSet<int>> columnFields;
    // Fields that left the table while they were the address column.
    QSet<int> leftAsAddress;
    // Every name a field has had, and the names contacts bring.
    QStringList namesSeen{Person::localizedPropertyName(Person::Email), Person::localizedPropertyName(Person::First),
                          Person::localizedPropertyName(Person::Last), Person::localizedPropertyName(Person::Note)};

    // A number below the bound; 0 once the choices have run out, which
    // ends the sequence after the step.
    int pick(int bound)
    {
        const std::optional<int> chosen = ended ? std::nullopt : choose(std::max(bound, 1));
        ended = !chosen;
        return chosen ? *chosen % std::max(bound, 1) : 0;
    }
    QString fresh() { return QStringLiteral("f%1").arg(++counter); }
    QString typedValue(int field)
    {
        const QString token = QStringLiteral("T%1.%2").arg(field).arg(++counter);
        switch (pick(4)) {
        case 0:
            return token + QStringLiteral("@x.org");
        case 1:
            // What the clean-up strips.
            return QStringLiteral(" %1@x.org,").arg(token);
        default:
            return token;
        }
    }
    QString nameOf(int slot) const { return db.fieldNameForColumnID(Database::columnIdentifier(slot)); }
    QList<int> namedSlots() const
    {
        QList<int> named;
        for (int slot = 0; slot < db.columnCount(); ++slot) {
            if (!nameOf(slot).isEmpty())
                named << slot;
        }
        return named;
    }
    QMap<int, QString> names() const
    {
        QMap<int, QString> named;
        for (int slot : namedSlots())
            named.insert(slot, nameOf(slot));
        return named;
    }
    // The driver's field whose tags name the slot's field, or -1.
    int fieldAt(int slot) const
    {
        const int field = fieldNamed(nameOf(slot));
        return field == Untracked ? -1 : field;
    }
    // The slot of the driver's field, -1 while it is not in the table.
    int slotOf(int field) const
    {
        const QString name = fields.at(field).tag->tagName();
        const QString id = name.isEmpty() ? QString() : db.fieldNameColumnIDMapping().value(name);
        return id.isNull() ? -1 : Database::columnIndexFromIdentifier(id);
    }
    QSet<int> fieldsInTable() const
    {
        QSet<int> in;
        for (int slot : namedSlots())
            in.insert(fieldAt(slot));
        return in;
    }
    // The driver's field of the address column; -1 for none, -2 for a slot without a field.
    int addressField() const
    {
        const int slot = db.addressFieldNo();
        if (slot < 0)
            return -1;
        return nameOf(slot).isEmpty() ? -2 : fieldAt(slot);
    }
    // A name for a field or a title: new, had by a field now or before, a
    // letter-case variant or an "x 2" look-alike of one, or empty.
    QString someName(bool emptyToo)
    {
        const QStringList current = db.fieldNames();
        const auto known = [&] {
            if (!current.isEmpty() && pick(2) == 0)
                return current.at(pick(int(current.size())));
            return namesSeen.at(pick(int(namesSeen.size())));
        };
        switch (pick(emptyToo ? 8 : 7)) {
        case 0:
        case 1:
        case 2:
            return fresh();
        case 3:
            return known();
        case 4: {
            const QString name = known();
            if (pick(2) == 0)
                return name.toUpper() == name ? name.toLower() : name.toUpper();
            QString variant = name;
            variant[0] = variant.at(0).isUpper() ? variant.at(0).toLower() : variant.at(0).toUpper();
            return variant;
        }
        case 5:
            return QStringLiteral("%1 %2").arg(known()).arg(2 + pick(2));
        case 6:
            return current.isEmpty() ? fresh() : current.at(pick(int(current.size())));
        default:
            return QString(QLatin1String(""));
        }
    }
    int anyNamed()
    {
        const QList<int> named = namedSlots();
        return named.isEmpty() ? -1 : named.at(pick(int(named.size())));
    }
    // Fields that the step made get their tags: named slots that had no
    // name before it and whose name no tag reads (one that comes back
    // without its tags is check()'s to find).
    void tagNewFields(const QMap<int, QString> &before)
    {
        for (int slot : namedSlots()) {
            if (before.contains(slot) || fieldAt(slot) >= 0)
                continue;
            const QString name = nameOf(slot);
            Field field{std::make_shared<SimpleTag>(name), condition->dataArray().size()};
            RichText body = message.bodyString();
            DoInsertTagInAttributedString(field.tag, body, body.length());
            message.setBodyText(body);
            QList<ConditionRule> rules = condition->dataArray();
            ConditionRule rule;
            rule.field = name;
            rule.content = QStringLiteral("x");
            rules << rule;
            condition->setDataArray(rules);
            fields << field;
            learnPlace({field.tag}, int(fields.size() - 1), QStringLiteral("the tag it was made with"));
            learnPlace({condition, field.rule}, int(fields.size() - 1), QStringLiteral("its rule in the subject"));
        }
    }
    void learnPlace(const Place &place, int field, const QString &what)
    {
        knownAt.insert(place.key(), known.size());
        known.append({place, field, what});
    }
    int ownerOf(const Place &place) const
    {
        const qsizetype at = knownAt.value(place.key(), -1);
        return at < 0 ? Untracked : known.at(at).field;
    }
    // The driver's field whose tags read the name, or Untracked.
    int fieldNamed(const QString &name) const
    {
        for (qsizetype i = 0; i < fields.size() && !name.isEmpty(); ++i) {
            if (fields.at(i).tag->tagName() == name)
                return int(i);
        }
        return Untracked;
    }
    // Where the user cuts, copies and pastes: the body, the subject around
    // the condition, or the result of one of its rules.
    enum class Text { Body, Subject, Result };
    RichText textOf(Text text, qsizetype rule) const
    {
        return text == Text::Body      ? message.bodyString()
               : text == Text::Subject ? message.subjectString()
                                       : condition->dataArray().at(rule).result;
    }
    void setText(Text text, qsizetype rule, const RichText &value)
    {
        if (text == Text::Body) {
            message.setBodyText(value);
        } else if (text == Text::Subject) {
            message.setSubjectText(value);
        } else {
            QList<ConditionRule> rules = condition->dataArray();
            rules[rule].result = value;
            condition->setDataArray(rules);
        }
    }
    static QString textName(Text text, qsizetype rule)
    {
        return text == Text::Body      ? QStringLiteral("the body")
               : text == Text::Subject ? QStringLiteral("the subject")
                                       : QStringLiteral("the result of rule %1").arg(rule);
    }
    Text someText(qsizetype &rule)
    {
        const int where = pick(5);
        if (where == 4 && !condition->dataArray().isEmpty()) {
            rule = pick(int(condition->dataArray().size()));
            return Text::Result;
        }
        return where == 3 ? Text::Subject : Text::Body;
    }
    void cutOrCopy(bool cut);
    void paste();
    QList<int> someRows()
    {
        QList<int> chosen;
        const int count = 1 + pick(2);
        for (int i = 0; i < count && db.entryCount() > 0; ++i)
            chosen << pick(db.entryCount());
        return chosen;
    }
    static QString rowsText(const QList<int> &chosen)
    {
        QStringList texts;
        for (int row : chosen)
            texts << QString::number(row);
        return texts.join(u' ');
    }
    const QUndoCommand *top() const { return stack.index() > 0 ? stack.command(stack.index() - 1) : nullptr; }
    QSet<const Database::Entry *> shownRows() const
    {
        QSet<const Database::Entry *> shown;
        for (const Database::EntryRef &entry : db.entryArray())
            shown.insert(entry.get());
        return shown;
    }
    // Typed cells in the table whose shown value a pushed step changed:
    // numbers for "number the rows", the clean-up's stripped addresses;
    // either only under the one field it acts on.
    QList<Written> learnWritten(bool numbers, int field)
    {
        QList<Written> written;
        const Database::EntryList &entries = db.entryArray();
        for (auto it = typed.begin(); it != typed.end(); ++it) {
            const int slot = slotOf(it.key().second);
            const auto row = std::find_if(entries.cbegin(), entries.cend(),
                                          [&](const Database::EntryRef &e) { return e.get() == it.key().first; });
            if (slot < 0 || row == entries.cend())
                continue;
            const QString shown = (*row)->value(Database::columnIdentifier(slot)).toString();
            if (shown == it.value())
                continue;
            const QString expected = it.key().second != field ? it.value()
                                     : numbers                 ? QString::number(row - entries.cbegin())
                                                               : cleaned(it.value());
            if (shown != expected && fault.isEmpty())
                fault = QStringLiteral("a typed %1 became %2, not %3").arg(it.value(), shown, expected);
            written.append({it.key(), it.value(), shown});
            it.value() = shown;
        }
        return written;
    }
    // Where each column of the import went: one field each, none shared,
    // no value lost.
    void learnImport(int import, const QSet<QString> &written, const QSet<QString> &mustArrive,
                     const QStringList &titles, bool cards)
    {
        QSet<QString> arrived;
        QHash<QString, QSet<int>> found;
        const QString prefix = QStringLiteral("%1.").arg(import);
        for (const Database::EntryRef &entry : db.entryArray()) {
            entry->forEachSlotText([&](int slot, const QString &text) {
                auto matches = tokens().globalMatch(text);
                while (matches.hasNext()) {
                    const QRegularExpressionMatch match = matches.next();
                    const QString column = match.captured(2);
                    if (!column.startsWith(prefix) || !written.contains(match.captured(0)))
                        continue;
                    arrived.insert(match.captured(0));
                    found[column].insert(fieldAt(slot));
                }
            });
        }
        QHash<int, QString> byField;
        for (auto it = found.cbegin(); it != found.cend() && fault.isEmpty(); ++it) {
            if (it.value().size() > 1 && !cards)
                fault = QStringLiteral("the values of import column %1 went to two fields").arg(it.key());
            columnFields.insert(it.key(), it.value());
            for (int field : it.value()) {
                if (byField.contains(field))
                    fault = QStringLiteral("import columns %1 and %2 went to one field").arg(byField.value(field), it.key());
                byField.insert(field, it.key());
                // A title's column goes to the field of that name (in any
                // letter case) or to one of its own under a free name ("title 2").
                const int column = it.key().section(u'.', 1).toInt();
                if (column < titles.size() && field >= 0) {
                    const QString title = titles.at(column).isEmpty() ? QString::number(column + 1) : titles.at(column);
                    const QString name = fields.at(field).tag->tagName().toCaseFolded();
                    if (name != title.toCaseFolded() && !name.startsWith(title.toCaseFolded() + u' '))
                        fault = QStringLiteral("the column titled %1 went to the field %2").arg(title, name);
                }
            }
        }
        for (const QString &token : mustArrive) {
            if (!arrived.contains(token) && fault.isEmpty())
                fault = QStringLiteral("the imported value %1 is nowhere in the table").arg(token);
        }
    }
    // The step pushed last, if the action pushed one, gets its record.
    void record(const QUndoCommand *before, int addressBefore, const QList<Written> &written)
    {
        QSet<const QUndoCommand *> present;
        for (int i = 0; i < stack.count(); ++i)
            present.insert(stack.command(i));
        records.removeIf([&](QHash<const QUndoCommand *, Record>::iterator it) { return !present.contains(it.key()); });
        if (top() && top() != before)
            records.insert(top(), {written, dynamic_cast<const FieldRemovalCommand *>(top()) != nullptr, addressBefore,
                                   addressField()});
    }
    // Fields that left the table with the address column, and those that came back.
    void followAddress(int addressBefore, const QSet<int> &inBefore)
    {
        const QSet<int> in = fieldsInTable();
        if (addressBefore >= 0 && !in.contains(addressBefore))
            leftAsAddress.insert(addressBefore);
        for (int field : in) {
            if (!inBefore.contains(field) && field != addressField())
                leftAsAddress.remove(field);
        }
    }
    // One press of Undo or Redo, and what it may change of typed cells and the address column.
    void press(bool undo)
    {
        log << (undo ? QStringLiteral("undo") : QStringLiteral("redo"));
        if (undo ? !stack.canUndo() : !stack.canRedo())
            return;
        const QUndoCommand *command = stack.command(undo ? stack.index() - 1 : stack.index());
        const Record step = records.value(command);
        const int addressBefore = addressField();
        const QSet<int> inBefore = fieldsInTable();
        undo ? stack.undo() : stack.redo();
        for (qsizetype i = 0; i < step.written.size(); ++i) {
            const Written &w = step.written.at(undo ? step.written.size() - 1 - i : i);
            const QString &left = undo ? w.now : w.was;
            if (typed.value(w.cell) == left)
                typed[w.cell] = undo ? w.was : w.now;
        }
        // The address column stays, or goes where its step put it, or back
        // to where the step found (left) it when its field leaves, or comes
        // back with a field that left with it; a field not in the table
        // stands for none.
        const QSet<int> in = fieldsInTable();
        const int address = addressField();
        const auto at = [&](int field) { return address == (in.contains(field) ? field : -1); };
        const int target = undo ? step.addressBefore : step.addressAfter;
        const bool allowed = address == addressBefore || address == -2
                             || (step.addressBefore != step.addressAfter && at(target))
                             || (addressBefore >= 0 && !in.contains(addressBefore)
                                 && (step.removal ? address == -1 : at(target)))
                             || (address >= 0 && !inBefore.contains(address) && leftAsAddress.contains(address));
        if (!allowed && fault.isEmpty())
            fault = QStringLiteral("the %1 moved the address column from field %2 to %3")
                        .arg(undo ? QStringLiteral("undo") : QStringLiteral("redo"))
                        .arg(addressBefore)
                        .arg(address);
        followAddress(addressBefore, inBefore);
        // A step refused and dropped from the stack takes its record along.
        records.removeIf([&](QHash<const QUndoCommand *, Record>::iterator it) {
            for (int i = 0; i < stack.count(); ++i) {
                if (stack.command(i) == it.key())
                    return false;
            }
            return true;
        });
    }
    // The table as the user sees it, by the driver's fields: names, the
    // address column, every row's values, every tag.
    QString snapshot() const
    {
        QStringList parts;
        for (int slot : namedSlots())
            parts << QStringLiteral("%1=%2").arg(fieldAt(slot)).arg(nameOf(slot));
        parts.sort();
        parts << QStringLiteral("address %1").arg(addressField());
        for (const Database::EntryRef &entry : db.entryArray()) {
            QStringList values;
            entry->forEachSlotText([&](int slot, const QString &text) { values << QStringLiteral("%1:%2").arg(fieldAt(slot)).arg(text); });
            values.sort();
            parts << values.join(u' ');
        }
        for (const Known &place : known)
            parts << place.place.name();
        return parts.join(u'\n');
    }
    void step();
    void importRows(bool titled);
    void importCards();
    [[nodiscard]] QString check();
    // The fields, tags and rows as they are, for a failure's report.
    [[nodiscard]] QString table() const
    {
        QStringList lines;
        QStringList named;
        for (int slot = 0; slot < db.columnCount(); ++slot) {
            if (!nameOf(slot).isNull())
                named << QStringLiteral("%1=%2").arg(slot).arg(nameOf(slot));
        }
        lines << QStringLiteral("fields: ") + named.join(u' ') + QStringLiteral("; address slot %1").arg(db.addressFieldNo());
        QStringList tags;
        for (qsizetype i = 0; i < fields.size(); ++i)
            tags << QStringLiteral("%1«%2»").arg(i).arg(fields.at(i).tag->tagName());
        lines << QStringLiteral("tags: ") + tags.join(u' ');
        lines << QStringLiteral("subject: ") + AttributedTagString::textTagString(message.subjectString());
        for (qsizetype i = 0; i < condition->dataArray().size(); ++i) {
            const ConditionRule &rule = condition->dataArray().at(i);
            lines << QStringLiteral("rule %1: «%2» gives \"%3\"").arg(i).arg(rule.field, AttributedTagString::textTagString(rule.result));
        }
        lines << QStringLiteral("body: ") + AttributedTagString::textTagString(message.bodyString());
        for (int row = 0; row < db.entryCount(); ++row) {
            QStringList values;
            db.entryArray().at(row)->forEachSlotText(
                [&values](int slot, const QString &text) { values << QStringLiteral("%1=%2").arg(slot).arg(text); });
            lines << QStringLiteral("row %1: ").arg(row) + values.join(u' ');
        }
        return lines.join(u'\n');
    }
};

RecipientHistoryDriver::RecipientHistoryDriver(Choose choose) : m_state(std::make_unique<State>())
{
    State &s = *m_state;
    s.choose = std::move(choose);
    // Wired as the document window wires its recipient tab and message.
    s.message.observeFieldNameChanges(&s.db);
    s.commands.setMessage(&s.message);
    s.message.setTagWalker([&s](const MessageTab::TagVisitor &visit) {
        for (const RichText &piece : std::as_const(s.history)) {
            for (const SimpleTagRef &tag : AttributedTagString::tags(piece))
                visit(*tag);
        }
    });
    QObject::connect(&s.commands, &RecipientCommands::tagNameChanged,
                     [&s](const QString &oldName, const QString &newName) { s.message.tagNameChanged(oldName, newName); });
    RichText subject;
    DoInsertTagInAttributedString(s.condition, subject, 0);
    s.message.setSubjectText(subject);

    const QString first = s.fresh();
    const QString second = s.fresh();
    s.commands.renameField(QStringLiteral("0"), first);
    s.commands.renameField(QStringLiteral("1"), second);
    s.tagNewFields({});
    for (int row = 0; row < 3; ++row)
        s.db.addEntryWithData(-1, {s.typedValue(0), s.typedValue(1)});
    s.log << QStringLiteral("start: fields %1 (slot 0), %2 (slot 1); three rows").arg(first, second);
}

RecipientHistoryDriver::~RecipientHistoryDriver() = default;

QString RecipientHistoryDriver::log() const
{
    return m_state->log.join(u'\n');
}

QString RecipientHistoryDriver::run(int steps)
{
    State &s = *m_state;
    for (int i = 0; i < steps && !s.ended; ++i) {
        s.step();
        if (s.fault.isEmpty())
            s.fault = s.check();
        if (!s.fault.isEmpty())
            return s.fault + QLatin1Char('\n') + s.table();
    }
    return {};
}

void RecipientHistoryDriver::State::importRows(bool titled)
{
    const int import = ++imports;
    QStringList titles;
    const int width = 1 + pick(3);
    for (int i = 0; i < width; ++i)
        titles << (i > 0 && pick(6) == 0 ? titles.at(pick(i)) : someName(true));
    QList<QStringList> rowsIn;
    if (titled)
        rowsIn << titles;
    QSet<QString> written;
    for (int r = pick(3) + (titled ? 0 : 1); r > 0; --r) {
        QStringList row;
        for (int column = 0; column < width; ++column) {
            row << QStringLiteral("I%1.%2.%3").arg(import).arg(column).arg(++counter);
            written.insert(row.last());
            if (pick(3) == 0)
                row.last() += QStringLiteral("@x.org");
        }
        rowsIn << row;
    }
    log << QStringLiteral("import %1 (%2 rows) %3").arg(import).arg(rowsIn.size() - (titled ? 1 : 0))
               .arg(titled ? QStringLiteral("titled \"%1\"").arg(titles.join(QStringLiteral("\", \"")))
                           : QStringLiteral("without titles"));
    const QMap<int, QString> before = names();
    commands.importRows(rowsIn, titled);
    tagNewFields(before);
    learnImport(import, written, written, titled ? titles : QStringList(), false);
}

void RecipientHistoryDriver::State::importCards()
{
    const int import = ++imports;
    QByteArray data;
    QSet<QString> written;
    QSet<QString> mustArrive;
    const int cards = 1 + pick(2);
    for (int c = 0; c < cards; ++c) {
        const auto token = [&](const char *property) {
            const QString text = QStringLiteral("I%1.%2.%3").arg(import).arg(QLatin1String(property)).arg(++counter);
            written.insert(text);
            return text;
        };
        const QString first = token("F"), last = token("L"), mail = token("E");
        mustArrive << first << last << mail;
        data += QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:%1\r\nN:%2;%3;;;\r\nEMAIL:%4@z.org\r\nNOTE:%5\r\nEND:VCARD\r\n")
                    .arg(token("N"), last, first, mail, token("O"))
                    .toUtf8();
    }
    const int row = pick(2) == 0 ? -1 : pick(db.entryCount() + 1);
    log << QStringLiteral("import %1: %2 vCards at row %3").arg(import).arg(cards).arg(row);
    const QMap<int, QString> before = names();
    commands.importVCardData(data, row);
    tagNewFields(before);
    learnImport(import, written, mustArrive, {}, true);
}

void RecipientHistoryDriver::State::cutOrCopy(bool cut)
{
    qsizetype rule = -1;
    const Text from = someText(rule);
    RichText text = textOf(from, rule);
    if (text.isEmpty())
        return;
    TextRange range{pick(text.length()), 0};
    range.length = 1 + pick(std::min(3, text.length() - range.location));
    if (cut && from == Text::Subject) {
        // The condition stays in the subject: new fields put their rules in it.
        for (int i = range.location; i < range.end(); ++i) {
            if (tagInAttributes(text.attributesAtIndex(i)) == condition)
                return;
        }
    }
    // As a view copies: the tags' archives as they are now.
    AttributedTagString::saveAttachments(text);
    const RichText piece = text.attributedSubstring(range);
    Clip copied;
    copied.fromOtherDocument = pick(6) == 0;
    copied.data.reset(TagPasteboard::mimeDataForText(piece, copied.fromOtherDocument ? &otherDocument : nullptr));
    QList<Place> places;
    collectPlaces(piece, places);
    for (const Place &place : places) {
        copied.owners << ownerOf(place);
        copied.names << place.name();
    }
    copied.what = QStringLiteral("%1 of %2, %3 to %4")
                      .arg(cut ? QStringLiteral("cut") : QStringLiteral("copied"), textName(from, rule))
                      .arg(range.location)
                      .arg(range.end());
    log << QStringLiteral("%1 \"%2\"%3")
               .arg(copied.what, AttributedTagString::textTagString(piece),
                    copied.fromOtherDocument ? QStringLiteral(" (as in another document)") : QString());
    clip = std::move(copied);
    if (cut) {
        history.append(piece);
        text.deleteCharacters(range);
        setText(from, rule, text);
    }
}

void RecipientHistoryDriver::State::paste()
{
    if (!clip)
        return;
    // The clipboard as this program left it, or the same bytes as another
    // program offers them.
    const bool otherProgram = pick(3) == 0;
    std::unique_ptr<QMimeData> bytes;
    const QMimeData *data = clip->data.get();
    if (otherProgram) {
        bytes = std::make_unique<QMimeData>();
        bytes->setData(TagPasteboard::MimeType, data->data(TagPasteboard::MimeType));
        bytes->setText(data->text());
        data = bytes.get();
    }
    const bool foreign = otherProgram || clip->fromOtherDocument;
    const TagPasteboard::Contents pasted = TagPasteboard::read(data);
    QList<Place> places;
    collectPlaces(pasted.text, places);
    if (pasted.kind != TagPasteboard::Contents::Kind::TaggedText || places.size() != clip->owners.size()) {
        fault = QStringLiteral("what was %1 pastes as \"%2\"").arg(clip->what, AttributedTagString::textTagString(pasted.text));
        return;
    }
    // A condition goes nowhere inside a condition.
    const bool conditions = std::any_of(places.cbegin(), places.cend(), [](const Place &p) { return p.rule >= 0; });
    qsizetype rule = -1;
    Text to = someText(rule);
    if (to == Text::Result && conditions)
        to = Text::Body;
    RichText text = textOf(to, rule);
    const int at = pick(text.length() + 1);
    const QString what = QStringLiteral("paste %1 (%2) into %3 at %4")
                             .arg(++pastes)
                             .arg(otherProgram ? QStringLiteral("another program's bytes") : clip->what, textName(to, rule))
                             .arg(at);
    log << what;
    for (qsizetype i = 0; i < places.size(); ++i) {
        int owner = clip->owners.at(i);
        if (foreign) {
            // Not ours to follow: the text as copied, which from then on is
            // the tag of the field it names, if any.
            if ((places.at(i).name() != clip->names.at(i) || places.at(i).mark() != 0) && fault.isEmpty())
                fault = QStringLiteral("a tag copied as «%1» pastes from elsewhere as «%2», marked %3")
                            .arg(clip->names.at(i), places.at(i).name())
                            .arg(places.at(i).mark());
            owner = clip->names.at(i).isEmpty() ? Nobody : fieldNamed(clip->names.at(i));
        }
        if (owner != Untracked)
            learnPlace(places.at(i), owner, what);
    }
    text.insert(at, pasted.text);
    setText(to, rule, text);
}

void RecipientHistoryDriver::State::step()
{
    enum Kind {
        AddRow, RemoveRows, DuplicateRows, MakeField, RenameField, RemoveField, NumberRows, CleanUp,
        SetAddress, Import, ImportWithoutTitles, ImportCards, Type, Undo, Redo, Cut, Copy, Paste
    };
    // Weighted towards what brings fields and rows in and out of the table.
    static constexpr Kind Kinds[] = {AddRow,      RemoveRows,  RemoveRows, DuplicateRows, MakeField, MakeField,
                                     RenameField, RemoveField, RemoveField, NumberRows,   CleanUp,   SetAddress,
                                     Import,      Import,      ImportWithoutTitles,       ImportCards, Type,
                                     Type,        Type,        Undo,       Undo,          Undo,      Undo,
                                     Redo,        Redo,        Redo};
    // Above them the clipboard's share of a byte's 256 values, so that a
    // fuzz input kept from before it came in (bytes below 208) does as it did.
    static constexpr Kind Clipboard[] = {Cut, Cut, Copy, Paste, Paste, Paste};
    constexpr int Others = int(std::size(Kinds)) * 8;
    const int chosen = pick(Others + int(std::size(Clipboard)) * 8);
    const Kind kind = chosen < Others ? Kinds[chosen % std::size(Kinds)] : Clipboard[(chosen - Others) % std::size(Clipboard)];
    const QUndoCommand *before = top();
    const int addressBefore = addressField();
    const QSet<int> inBefore = fieldsInTable();
    QList<Written> written;
    switch (kind) {
    case AddRow: {
        const int row = pick(db.entryCount() + 1);
        log << QStringLiteral("add a row at %1").arg(row);
        commands.addRecipient(row);
        break;
    }
    case RemoveRows: {
        const QList<int> chosen = someRows();
        log << QStringLiteral("remove rows %1").arg(rowsText(chosen));
        commands.removeRecipients(chosen);
        break;
    }
    case DuplicateRows: {
        const QList<int> chosen = someRows();
        log << QStringLiteral("duplicate rows %1").arg(rowsText(chosen));
        commands.duplicateRecipients(chosen);
        break;
    }
    case MakeField: {
        // The names sheet lists every slot; the user names one without a name.
        QList<int> free;
        for (int slot = 0; slot < 8; ++slot) {
            if (nameOf(slot).isEmpty())
                free << slot;
        }
        if (free.isEmpty())
            break;
        // Often the first: the slot a field removed last left free.
        const int slot = pick(2) == 0 ? free.first() : free.at(pick(int(free.size())));
        const QString name = someName(false);
        log << QStringLiteral("name slot %1 \"%2\"").arg(slot).arg(name);
        const QMap<int, QString> named = names();
        commands.renameField(Database::columnIdentifier(slot), name);
        tagNewFields(named);
        break;
    }
    case RenameField: {
        const int slot = anyNamed();
        if (slot < 0)
            break;
        const QString name = someName(false);
        log << QStringLiteral("rename %1 (slot %2) to \"%3\"").arg(nameOf(slot)).arg(slot).arg(name);
        commands.renameField(Database::columnIdentifier(slot), name);
        break;
    }
    case RemoveField: {
        const int slot = anyNamed();
        if (slot < 0)
            break;
        log << QStringLiteral("remove field %1 (slot %2)").arg(nameOf(slot)).arg(slot);
        // Where a view whose columns were never moved shows it.
        commands.removeField(Database::columnIdentifier(slot), 3 + slot);
        break;
    }
    case NumberRows: {
        const int slot = anyNamed();
        if (slot < 0)
            break;
        log << QStringLiteral("number the rows under %1 (slot %2)").arg(nameOf(slot)).arg(slot);
        const int field = fieldAt(slot);
        if (commands.addSerialNumbers(Database::columnIdentifier(slot))) {
            if (field >= 0)
                fields[field].numbered = true;
            written = learnWritten(true, field);
        }
        break;
    }
    case CleanUp:
        log << QStringLiteral("clean up the addresses (address slot %1)").arg(db.addressFieldNo());
        if (commands.checkAddressSyntax() > 0)
            written = learnWritten(false, addressBefore);
        break;
    case SetAddress: {
        const int slot = anyNamed();
        if (slot < 0)
            break;
        log << QStringLiteral("make %1 (slot %2) the address column").arg(nameOf(slot)).arg(slot);
        commands.setAddressColumn(slot);
        break;
    }
    case Import:
    case ImportWithoutTitles:
        importRows(kind == Import);
        break;
    case ImportCards:
        importCards();
        break;
    case Cut:
    case Copy:
        cutOrCopy(kind == Cut);
        break;
    case Paste:
        paste();
        break;
    case Type: {
        const int slot = anyNamed();
        if (slot < 0 || db.entryCount() == 0 || fieldAt(slot) < 0)
            break;
        const int row = pick(db.entryCount());
        const int field = fieldAt(slot);
        const QString value = typedValue(field);
        log << QStringLiteral("type \"%1\" in row %2 under %3 (slot %4)").arg(value).arg(row).arg(nameOf(slot)).arg(slot);
        if (commands.editCell(row, Database::columnIdentifier(slot), value)) {
            const Database::EntryRef &entry = db.entryArray().at(row);
            rows.insert(entry.get(), entry);
            typed.insert({entry.get(), field}, value);
        }
        break;
    }
    case Undo:
    case Redo: {
        const bool undo = kind == Undo;
        if (pick(4) == 0 && (undo ? stack.canUndo() : stack.canRedo())) {
            // There and back again: the table as it was.
            const QString was = snapshot();
            const int count = stack.count();
            press(undo);
            if (fault.isEmpty())
                fault = check();
            if (!fault.isEmpty() || stack.count() != count)
                return;
            press(!undo);
            if (fault.isEmpty() && snapshot() != was)
                fault = QStringLiteral("an %1 and its %2 changed the table from\n%3\nto\n%4")
                            .arg(undo ? QStringLiteral("undo") : QStringLiteral("redo"),
                                 undo ? QStringLiteral("redo") : QStringLiteral("undo"), was, snapshot());
            return;
        }
        // Ctrl+Z pressed once or a few times over, each press checked.
        const int times = 1 + pick(3);
        for (int i = 0; i < times && fault.isEmpty(); ++i) {
            press(undo);
            if (i + 1 < times && fault.isEmpty())
                fault = check();
        }
        return;
    }
    }
    followAddress(addressBefore, inBefore);
    record(before, addressBefore, written);
}

QString RecipientHistoryDriver::State::check()
{
    // Tags: each field's tag and rule agree, and no two fields' tags share a name.
    QHash<QString, int> tagged;
    const QList<ConditionRule> rules = condition->dataArray();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        const QString name = fields.at(i).tag->tagName();
        const QString ruled = fields.at(i).rule < rules.size() ? rules.at(fields.at(i).rule).field
                                                                : QStringLiteral("(no rule)");
        if (ruled != name)
            return QStringLiteral("the tag of field %1 reads «%2», its rule «%3»").arg(i).arg(name, ruled);
        if (name.isEmpty())
            continue;
        if (tagged.contains(name))
            return QStringLiteral("the tags of two fields read «%1»").arg(name);
        tagged.insert(name, int(i));
    }

    // Every known place, wherever it was moved, reads what its field's tags read.
    for (const Known &place : std::as_const(known)) {
        const QString expected = place.field >= 0 ? fields.at(place.field).tag->tagName() : QString();
        if (place.place.name() != expected)
            return QStringLiteral("a tag of field %1 (%2) reads «%3», its field's tags «%4»")
                .arg(place.field)
                .arg(place.what, place.place.name(), expected);
    }

    const QMap<int, QString> slotNames = names();
    QSet<QString> shown;
    for (auto it = slotNames.cbegin(); it != slotNames.cend(); ++it) {
        if (shown.contains(it.value()))
            return QStringLiteral("two fields are named %1").arg(it.value());
        shown.insert(it.value());
        if (!namesSeen.contains(it.value()))
            namesSeen << it.value();
        if (!tagged.contains(it.value()))
            return QStringLiteral("no tag names the field %1 (slot %2)").arg(it.value()).arg(it.key());
    }
    for (auto it = tagged.cbegin(); it != tagged.cend(); ++it) {
        if (!shown.contains(it.key()))
            return QStringLiteral("a tag reads «%1», which no field is named").arg(it.key());
    }
    if (db.addressFieldNo() >= 0 && !slotNames.contains(db.addressFieldNo()))
        return QStringLiteral("the address column is slot %1, which has no field").arg(db.addressFieldNo());

    for (int row = 0; row < db.entryCount(); ++row) {
        QString found;
        db.entryArray().at(row)->forEachSlotText([&](int slot, const QString &text) {
            if (!found.isEmpty())
                return;
            const QString name = slotNames.value(slot);
            if (name.isEmpty()) {
                found = QStringLiteral("row %1 holds %2 in slot %3, which no field has").arg(row).arg(text).arg(slot);
                return;
            }
            const int field = tagged.value(name);
            auto matches = tokens().globalMatch(text);
            bool any = false;
            while (matches.hasNext() && found.isEmpty()) {
                const QRegularExpressionMatch match = matches.next();
                any = true;
                const bool owner = match.captured(1).isEmpty() ? columnFields.value(match.captured(2)).contains(field)
                                                               : match.captured(1).toInt() == field;
                if (!owner)
                    found = QStringLiteral("row %1 shows %2 under %3 (slot %4, field %5)")
                                .arg(row)
                                .arg(text, name)
                                .arg(slot)
                                .arg(field);
            }
            if (!any && !(fields.at(field).numbered && isNumber(text)))
                found = QStringLiteral("row %1 shows %2 under %3 (slot %4)").arg(row).arg(text, name).arg(slot);
        });
        if (!found.isEmpty())
            return found;
    }

    // Typed cells in the table show what was typed, or what a done step wrote.
    const QSet<const Database::Entry *> inTable = shownRows();
    for (auto it = typed.cbegin(); it != typed.cend(); ++it) {
        const int slot = slotOf(it.key().second);
        if (slot < 0 || !inTable.contains(it.key().first))
            continue;
        const QVariant value = it.key().first->value(Database::columnIdentifier(slot));
        if (value.toString() != it.value() || !value.isValid())
            return QStringLiteral("a cell typed \"%1\" under field %2 shows \"%3\"")
                .arg(it.value())
                .arg(it.key().second)
                .arg(value.toString());
    }
    return {};
}
