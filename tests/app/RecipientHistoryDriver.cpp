#include "RecipientHistoryDriver.h"

#include "RecipientCommands.h"

#include "AttributedTagString.h"
#include "ConditionTag.h"
#include "Database.h"
#include "MessageTab.h"
#include "SimpleTag.h"

#include <QHash>
#include <QMap>
#include <QSet>
#include <QStringList>
#include <QUndoStack>

#include <algorithm>

namespace {

// A field as the driver knows it: every name it has had, its field tag in
// the body and its rule in the subject's condition. Its tags tell which
// field of the table it is.
struct Field {
    QSet<QString> names;
    SimpleTagRef tag;
    qsizetype rule = 0;
    bool numbered = false;
};

bool isNumber(const QString &text)
{
    bool ok = false;
    text.toLongLong(&ok);
    return ok;
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
    QStringList log;
    int counter = 0;
    bool ended = false;

    // A number below the bound; 0 once the choices have run out, which
    // ends the sequence after the step.
    int pick(int bound)
    {
        const std::optional<int> chosen = ended ? std::nullopt : choose(std::max(bound, 1));
        ended = !chosen;
        return chosen ? *chosen % std::max(bound, 1) : 0;
    }
    QString fresh() { return QStringLiteral("f%1").arg(++counter); }
    QString valueFor(const QString &field) { return QStringLiteral("%1:%2").arg(field).arg(++counter); }
    // The fields by slot, from the table's own map of names (which keeps
    // one slot of a name that two share; check() sees those).
    QMap<int, QString> fieldsBySlot() const
    {
        QMap<int, QString> named;
        const Database::ColumnMap &mapping = db.fieldNameColumnIDMapping();
        for (auto it = mapping.cbegin(); it != mapping.cend(); ++it)
            named.insert(Database::columnIndexFromIdentifier(it.value()), it.key());
        return named;
    }
    QList<int> namedSlots() const { return fieldsBySlot().keys(); }
    QString nameOf(int slot) const { return db.fieldNameForColumnID(Database::columnIdentifier(slot)); }
    int fieldTagged(const QString &name) const
    {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (!name.isEmpty() && fields.at(i).tag->tagName() == name)
                return int(i);
        }
        return -1;
    }
    // Fields that the driver's own step made get their tags: those whose
    // name no tag reads and no field has had (a field that lost its tags is
    // check()'s to find; one that a title row renamed took its tags along).
    void tagNewFields()
    {
        for (int slot : namedSlots()) {
            const QString name = nameOf(slot);
            if (fieldTagged(name) >= 0
                || std::any_of(fields.cbegin(), fields.cend(), [&](const Field &f) { return f.names.contains(name); }))
                continue;
            Field field{{name}, std::make_shared<SimpleTag>(name), condition->dataArray().size()};
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
        }
    }
    QList<int> someRows()
    {
        QList<int> rows;
        const int count = 1 + pick(2);
        for (int i = 0; i < count && db.entryCount() > 0; ++i)
            rows << pick(db.entryCount());
        return rows;
    }
    QString rowsText(const QList<int> &rows) const
    {
        QStringList texts;
        for (int row : rows)
            texts << QString::number(row);
        return texts.join(u' ');
    }

    void step();
    [[nodiscard]] QString check();
    // The fields, tags and rows as they are, for a failure's report.
    [[nodiscard]] QString table() const
    {
        QStringList lines;
        QStringList names;
        for (int slot = 0; slot < db.columnCount(); ++slot) {
            if (!nameOf(slot).isNull())
                names << QStringLiteral("%1=%2").arg(slot).arg(nameOf(slot));
        }
        lines << QStringLiteral("fields: ") + names.join(u' ');
        QStringList tags;
        for (const Field &field : fields)
            tags << QStringLiteral("«%1»").arg(field.tag->tagName());
        lines << QStringLiteral("tags: ") + tags.join(u' ');
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
    QObject::connect(&s.commands, &RecipientCommands::tagNameChanged,
                     [&s](const QString &oldName, const QString &newName) { s.message.tagNameChanged(oldName, newName); });
    RichText subject;
    DoInsertTagInAttributedString(s.condition, subject, 0);
    s.message.setSubjectText(subject);

    const QString first = s.fresh();
    const QString second = s.fresh();
    s.commands.renameField(QStringLiteral("0"), first);
    s.commands.renameField(QStringLiteral("1"), second);
    for (int row = 0; row < 3; ++row)
        s.db.addEntryWithData(-1, {s.valueFor(first), s.valueFor(second)});
    s.tagNewFields();
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
        const QString fault = s.check();
        if (!fault.isEmpty())
            return fault + QLatin1Char('\n') + s.table();
    }
    return {};
}

void RecipientHistoryDriver::State::step()
{
    enum Kind { AddRow, RemoveRows, DuplicateRows, MakeField, RenameField, RemoveField, NumberRows, Import, Type, Undo, Redo };
    // Weighted towards what brings fields and rows in and out of the table.
    static constexpr Kind Kinds[] = {AddRow,      RemoveRows,  RemoveRows, DuplicateRows, MakeField,
                                     MakeField,   RenameField, RemoveField, RemoveField,  NumberRows,
                                     Import,      Type,        Type,        Undo,         Undo,
                                     Undo,        Undo,        Redo,        Redo,         Redo};
    const Kind kind = Kinds[pick(int(std::size(Kinds)))];
    const QList<int> named = namedSlots();
    const auto anyNamed = [&]() { return named.isEmpty() ? -1 : named.at(pick(int(named.size()))); };
    switch (kind) {
    case AddRow: {
        const int row = pick(db.entryCount() + 1);
        log << QStringLiteral("add a row at %1").arg(row);
        commands.addRecipient(row);
        break;
    }
    case RemoveRows: {
        const QList<int> rows = someRows();
        log << QStringLiteral("remove rows %1").arg(rowsText(rows));
        commands.removeRecipients(rows);
        break;
    }
    case DuplicateRows: {
        const QList<int> rows = someRows();
        log << QStringLiteral("duplicate rows %1").arg(rowsText(rows));
        commands.duplicateRecipients(rows);
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
        const QString name = fresh();
        log << QStringLiteral("make field %1 in slot %2").arg(name).arg(slot);
        commands.renameField(Database::columnIdentifier(slot), name);
        tagNewFields();
        break;
    }
    case RenameField: {
        const int slot = anyNamed();
        if (slot < 0)
            break;
        const QString name = fresh();
        log << QStringLiteral("rename %1 (slot %2) to %3").arg(nameOf(slot)).arg(slot).arg(name);
        const int field = fieldTagged(nameOf(slot));
        if (commands.renameField(Database::columnIdentifier(slot), name) == RecipientCommands::Rename::Renamed
            && field >= 0)
            fields[field].names.insert(name);
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
        const int field = fieldTagged(nameOf(slot));
        if (commands.addSerialNumbers(Database::columnIdentifier(slot)) && field >= 0)
            fields[field].numbered = true;
        break;
    }
    case Import: {
        // Known titles and new ones, each once.
        QStringList titles;
        const int width = 1 + pick(3);
        for (int i = 0; i < width; ++i) {
            const int slot = pick(2) == 0 ? anyNamed() : -1;
            const QString title = slot >= 0 ? nameOf(slot) : fresh();
            if (!titles.contains(title))
                titles << title;
        }
        QList<QStringList> rows{titles};
        const int count = pick(3);
        for (int r = 0; r < count; ++r) {
            QStringList row;
            for (const QString &title : std::as_const(titles))
                row << valueFor(title);
            rows << row;
        }
        log << QStringLiteral("import %1 rows titled %2").arg(count).arg(titles.join(u','));
        commands.importRows(rows, true);
        tagNewFields();
        break;
    }
    case Type: {
        const int slot = anyNamed();
        if (slot < 0 || db.entryCount() == 0)
            break;
        const int row = pick(db.entryCount());
        const QString value = valueFor(nameOf(slot));
        log << QStringLiteral("type %1 in row %2 under %3 (slot %4)").arg(value).arg(row).arg(nameOf(slot)).arg(slot);
        commands.editCell(row, Database::columnIdentifier(slot), value);
        break;
    }
    case Undo:
    case Redo: {
        // Ctrl+Z pressed once or a few times over.
        const int times = 1 + pick(3);
        for (int i = 0; i < times; ++i) {
            log << (kind == Undo ? QStringLiteral("undo") : QStringLiteral("redo"));
            kind == Undo ? stack.undo() : stack.redo();
            if (i + 1 < times && !check().isEmpty())
                break;
        }
        break;
    }
    }
}

QString RecipientHistoryDriver::State::check()
{
    // Tags: each field's tag and rule agree, and no two fields' tags share a name.
    QHash<QString, int> tagged;
    const QList<ConditionRule> rules = condition->dataArray();
    for (qsizetype i = 0; i < fields.size(); ++i) {
        Field &field = fields[i];
        const QString name = field.tag->tagName();
        const QString ruled = field.rule < rules.size() ? rules.at(field.rule).field : QStringLiteral("(no rule)");
        if (ruled != name)
            return QStringLiteral("the tag of a field reads «%1», its rule «%2»").arg(name, ruled);
        if (name.isEmpty())
            continue;
        if (tagged.contains(name))
            return QStringLiteral("the tags of two fields read «%1»").arg(name);
        tagged.insert(name, int(i));
        // A field that came back under a free name keeps its values.
        field.names.insert(name);
    }

    const QMap<int, QString> slotNames = fieldsBySlot();
    if (db.fieldCount() != slotNames.size())
        return QStringLiteral("two fields share a name: %1").arg(db.fieldNames().join(u','));
    QSet<QString> shown;
    for (auto it = slotNames.cbegin(); it != slotNames.cend(); ++it) {
        shown.insert(it.value());
        if (!tagged.contains(it.value()))
            return QStringLiteral("no tag names the field %1 (slot %2)").arg(it.value()).arg(it.key());
    }
    for (auto it = tagged.cbegin(); it != tagged.cend(); ++it) {
        if (!shown.contains(it.key()))
            return QStringLiteral("a tag reads «%1», which no field is named").arg(it.key());
    }

    for (int row = 0; row < db.entryCount(); ++row) {
        QString fault;
        db.entryArray().at(row)->forEachSlotText([&](int slot, const QString &text) {
            if (!fault.isEmpty())
                return;
            const QString name = slotNames.value(slot);
            if (name.isEmpty()) {
                fault = QStringLiteral("row %1 holds %2 in slot %3, which no field has").arg(row).arg(text).arg(slot);
                return;
            }
            const Field &field = fields.at(tagged.value(name));
            const QString writtenUnder = text.section(u':', 0, 0);
            if (!(text.contains(u':') && field.names.contains(writtenUnder)) && !(field.numbered && isNumber(text)))
                fault = QStringLiteral("row %1 shows %2 under %3 (slot %4)").arg(row).arg(text, name).arg(slot);
        });
        if (!fault.isEmpty())
            return fault;
    }
    return {};
}
