// The message's editor sheets: the condition editor (working copies, rules
// whose field is gone, drags), the image editor (bounds, only what changed
// is stored), the template selector (chosen by click, not by moving) and
// the HTML import sheet; each shown offscreen and saved as a picture.

#include "ConditionEditor.h"
#include "FileChooser.h"
#include "HTMLConverter.h"
#include "ImageEditor.h"
#include "TagTextView.h"
#include "TemplateSelector.h"
#include "message/TextFixtures.h"

#include "AlertPresenter.h"
#include "AttributedTagString.h"
#include "HTMLEncoding.h"
#include "Localizer.h"
#include "TemplateManager.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QLabel>
#include <QSpinBox>
#include <QTableView>
#include <QCoreApplication>
#include <QDir>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace TextFixtures;

namespace {

class Alerts : public AlertPresenter {
public:
    Alerts() { AlertPresenter::setCurrent(this); }
    ~Alerts() override { AlertPresenter::setCurrent(nullptr); }
    void runAlertPanel(const QString &title, const QString &) override { shown << title; }
    void beginAlertSheet(const QString &title, const QString &, QWidget *) override { shown << title; }
    void showErrorReport(const QString &text, QWidget *) override { shown << text; }
    QStringList shown;
};

class ScriptedChooser : public FileChooser {
public:
    ScriptedChooser() { FileChooser::setCurrent(this); }
    ~ScriptedChooser() override { FileChooser::setCurrent(nullptr); }
    void chooseFile(QWidget *, const QString &, const QStringList &, Done done) override { done(answer); }
    QString answer;
};

void saveScreenshot(QWidget &sheet, const QString &name)
{
    sheet.show();
    QString folder = qEnvironmentVariable("CORV_SCREENSHOT_DIR");
    if (folder.isEmpty())
        folder = QCoreApplication::applicationDirPath() + QStringLiteral("/message_ui");
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = QDir(folder).filePath(name);
    ASSERT_TRUE(sheet.grab().save(file));
    EXPECT_FALSE(QImage(file).isNull());
}

// A control of a sheet, by its name in the sheet's description.
template <typename T>
T *control(QWidget *sheet, const char *name)
{
    T *found = sheet->findChild<T *>(QString::fromLatin1(name));
    EXPECT_TRUE(found) << name;
    return found;
}

QPushButton *okButton(QWidget *sheet)
{
    return control<QDialogButtonBox>(sheet, "buttonBox")->button(QDialogButtonBox::Ok);
}

QByteArray archiveOf(const SimpleTag &tag)
{
    return tag.currentFileWrapper().value_or(FileWrapper()).regularFileContents;
}

std::shared_ptr<ConditionTag> town()
{
    return std::make_shared<ConditionTag>(
        "Town", QList<ConditionRule>{rule("City", ConditionRule::Equals, "Bern", withTag("Hi ", std::make_shared<SimpleTag>("Name"))),
                                     rule("Gone", ConditionRule::Contains, "x", RichText("gone")),
                                     rule("City", ConditionRule::DoesNotEqual, "", RichText("else"))});
}

QStringList fieldsOf(const ConditionEditorModel &model)
{
    QStringList fields;
    for (const ConditionRule &r : model.rules())
        fields << r.content;
    return fields;
}

const QStringList Operators = {"contains", "does not contain", "is equal to", "is not equal to"};

} // namespace

TEST(ConditionEditor, CancelChangesNothingAndOkStoresTheWorkingCopy)
{
    const auto tag = town();
    const QByteArray before = archiveOf(*tag);
    {
        auto *editor = new ConditionEditor(nullptr, tag, {"Name", "City"}, {});
        editor->show();
        control<QTableView>(editor, "rulesTable")->selectRow(0);
        QTest::keyClicks(control<QLineEdit>(editor, "conditionField"), "!!");
        control<TagTextView>(editor, "resultTextView")->insertTag(std::make_shared<SimpleTag>("City"));
        editor->model().addRule();
        editor->model().moveRules({2}, 0);
        control<QLineEdit>(editor, "conditionName")->setText("Renamed");
        editor->model().setConditionName("Renamed");
        EXPECT_EQ(editor->model().rules().size(), 4);
        editor->reject();
    }
    EXPECT_EQ(archiveOf(*tag), before);

    ConditionTag *changed = nullptr;
    auto *editor = new ConditionEditor(nullptr, tag, {"Name", "City"}, {nullptr, [&](ConditionTag *t) { changed = t; }});
    editor->show();
    control<QTableView>(editor, "rulesTable")->selectRow(0);
    QTest::keyClicks(control<QLineEdit>(editor, "conditionField"), "!");
    okButton(editor)->click();
    EXPECT_EQ(changed, tag.get());
    EXPECT_EQ(tag->dataArray()[0].content, "Bern!");
    // The result's tags are the editor's clones, not the old ones.
    EXPECT_EQ(AttributedTagString::textTagString(tag->dataArray()[0].result), "Hi <Name>");

    // A new condition without rules is always "".
    std::shared_ptr<ConditionTag> inserted;
    ConditionEditorModel empty(nullptr, {"Name"}, Operators);
    empty.setConditionName("Nothing");
    inserted = empty.apply();
    ASSERT_TRUE(inserted);
    EXPECT_EQ(inserted->tagName(), "Nothing");
    EXPECT_EQ(inserted->getValueForData(nullptr, nullptr, nullptr).string(), "");
}

TEST(ConditionEditor, RuleWithAFieldTheTableLacksKeepsIt)
{
    const auto tag = town();
    ConditionEditorModel model(tag, {"Name", "City"}, Operators);
    model.setActiveRow(1);
    EXPECT_EQ(model.fieldItems(), (QStringList{"Name", "City", "Gone"}));
    EXPECT_EQ(model.fieldItemIndex(), 2);
    model.editContent("y");
    model.setActiveRow(0);
    model.setActiveRow(1);
    model.chooseOperator(1);
    model.chooseOperator(9); // no such operator
    model.apply();
    EXPECT_EQ(tag->dataArray()[1].field, "Gone");
    EXPECT_EQ(tag->dataArray()[1].op, ConditionRule::DoesNotContain);
    EXPECT_EQ(tag->dataArray()[1].content, "y");

    // The table shows names, operator titles and results with tags in brackets.
    EXPECT_EQ(model.data(model.index(0, 1)).toString(), "is equal to");
    EXPECT_EQ(model.data(model.index(0, 3)).toString(), "Hi <Name>");
}

TEST(ConditionEditor, DragsMoveOwnRulesAsABlockAndRefuseAnythingElse)
{
    const auto dropped = [](ConditionEditorModel &model, const QList<int> &rows, int row) {
        QModelIndexList indexes;
        for (const int r : rows)
            indexes << model.index(r, 0);
        std::unique_ptr<QMimeData> data(model.mimeData(indexes));
        return model.dropMimeData(data.get(), Qt::MoveAction, row, 0, {});
    };
    const struct {
        QList<int> rows;
        int row;
        QStringList order;
    } cases[] = {
        {{0}, 3, {"x", "", "Bern"}},       // the first after the last: last
        {{2}, 0, {"", "Bern", "x"}},       // the last onto the top: first
        {{2, 0}, 2, {"x", "Bern", ""}},    // two, kept together in their order
        {{1}, 1, {"Bern", "x", ""}},       // onto itself: nothing moves
    };
    for (const auto &c : cases) {
        ConditionEditorModel model(town(), {"City"}, Operators);
        EXPECT_TRUE(dropped(model, c.rows, c.row));
        EXPECT_EQ(fieldsOf(model), c.order);
    }

    // Another editor's rules (another document's), rows out of range, bytes
    // that are no archive: refused, the rules untouched.
    ConditionEditorModel mine(town(), {"City"}, Operators);
    ConditionEditorModel other(town(), {"City"}, Operators);
    other.addRule();
    std::unique_ptr<QMimeData> foreign(other.mimeData({other.index(3, 0)}));
    EXPECT_FALSE(mine.canDropMimeData(foreign.get(), Qt::MoveAction, 0, 0, {}));
    EXPECT_FALSE(mine.dropMimeData(foreign.get(), Qt::MoveAction, 0, 0, {}));
    QMimeData garbage;
    garbage.setData(ConditionEditorModel::RulesMimeType, QByteArray("bplist00\xff\xff", 10));
    EXPECT_FALSE(mine.dropMimeData(&garbage, Qt::MoveAction, 0, 0, {}));
    EXPECT_EQ(mine.moveRules({5}, 0), -1);
    EXPECT_EQ(mine.moveRules({0}, 9), -1);
    EXPECT_EQ(fieldsOf(mine), (QStringList{"Bern", "x", ""}));
}

TEST(ConditionEditor, Screenshot)
{
    auto *editor = new ConditionEditor(nullptr, town(), {"Name", "City"}, {});
    control<QTableView>(editor, "rulesTable")->selectRow(0);
    saveScreenshot(*editor, "condition-editor.png");
    EXPECT_EQ(control<QComboBox>(editor, "fieldMenu")->currentText(), "City");
    editor->close();
}

TEST(ImageEditor, ShowsAndStoresOnlyWhatChanged)
{
    QTemporaryDir dir;
    ASSERT_TRUE(writePng(dir.filePath("p.png"), 20, 10));
    const struct {
        float scaling;
        int shown;
        int typed; // 0: left alone
        float stored;
    } cases[] = {
        {1.0f, 100, 0, 1.0f}, {1.0f, 100, 75, 0.75f}, {0.333f, 33, 0, 0.333f},
        {0.005f, 1, 0, 0.005f}, {1.0f, 100, 20000, 100.0f}, {2.0f, 200, -3, 0.01f},
    };
    for (const auto &c : cases) {
        auto tag = std::make_shared<ImageTag>(dir.filePath("p.png"));
        tag->setScaling(c.scaling);
        ImageEditorModel model(tag);
        EXPECT_EQ(model.scalingPercent(), c.shown);
        if (c.typed != 0)
            model.setScalingPercent(c.typed);
        EXPECT_EQ(model.apply(), c.typed != 0);
        EXPECT_FLOAT_EQ(tag->scaling(), c.stored);
    }
    auto tag = std::make_shared<ImageTag>(dir.filePath("p.png"));
    tag->setScaling(0.333f);
    bool changed = false;
    ImageEditor *editor = ImageEditor::showImageEditorForWindow(nullptr, tag, [&] { changed = true; });
    EXPECT_EQ(control<QSpinBox>(editor, "scalingText")->minimum(), 1);
    EXPECT_EQ(control<QSpinBox>(editor, "scalingText")->maximum(), 10000);
    EXPECT_EQ(control<QSpinBox>(editor, "marginText")->maximum(), 1000);
    control<QSpinBox>(editor, "marginText")->setValue(5000);
    control<QComboBox>(editor, "alignMenu")->setCurrentIndex(3);
    emit control<QComboBox>(editor, "alignMenu")->activated(3);
    saveScreenshot(*editor, "image-editor.png");
    okButton(editor)->click();
    EXPECT_TRUE(changed);
    EXPECT_EQ(tag->margin(), 1000);
    EXPECT_EQ(tag->alignment(), ImageTag::AlignCenter);
    EXPECT_FLOAT_EQ(tag->scaling(), 0.333f);
}

TEST(TemplateSelector, ChosenByClickOrActivationNeverByMoving)
{
    QTemporaryDir dir;
    for (const char *name : {"Alpha", "Beta", "Gamma"})
        ASSERT_TRUE(writeFile(dir.filePath(QStringLiteral("%1/index.html").arg(name)), "<p>[[[message]]]</p>"));
    ASSERT_TRUE(writePng(dir.filePath("Beta/preview.jpg"), 2000, 1500));
    TemplateManager::defaultManager().clearTemplateList();
    TemplateManager::defaultManager().addTemplatesAtPath(dir.path());

    QStringList chosen;
    auto *selector = new TemplateSelector(nullptr, [&](const QString &name) { chosen << name; });
    QSignalSpy finished(selector, &QDialog::finished);
    selector->show();
    QListView *list = control<QListView>(selector, "tableView");
    EXPECT_EQ(selector->model().data(selector->model().index(1, 0)).toString(), "\nBeta");
    // Read at the size it is shown in, not at 2000 x 1500.
    const QImage preview = selector->model().data(selector->model().index(1, 0), Qt::DecorationRole).value<QImage>();
    EXPECT_EQ(preview.size(), QSize(160, 120));
    saveScreenshot(*selector, "template-selector.png");

    list->setFocus();
    list->setCurrentIndex(selector->model().index(0, 0));
    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_TRUE(chosen.isEmpty());
    EXPECT_EQ(finished.count(), 0);

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(selector->model().index(1, 0)).center());
    EXPECT_EQ(chosen, QStringList{"Beta"});
    EXPECT_EQ(finished.count(), 1);
    TemplateManager::defaultManager().clearTemplateList();
}

TEST(HTMLConverter, FixesReferencesAndRefusesABadEncoding)
{
    Alerts alerts;
    ScriptedChooser chooser;
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("page") && QDir(dir.path()).mkpath("elsewhere"));
    ASSERT_TRUE(writePng(dir.filePath("page/pic.png"), 4, 4));
    ASSERT_TRUE(writePng(dir.filePath("elsewhere/logo.png"), 4, 4));
    HTMLImport import;
    import.setPage("<img src=\"pic.png\"><img src=\"logo.png\"><script>go()</script>"
                   "<img src=\"http://cdn.example/x.gif\"><p>caf\xE9",
                   dir.filePath("page"));
    QList<RichText> bodies;
    auto *sheet = new HTMLConverter(nullptr, std::move(import), [&](const RichText &body) { bodies << body; });
    sheet->show();
    EXPECT_EQ(control<QComboBox>(sheet, "encodingMenu")->currentData().value<quint64>(), HTMLEncoding::WindowsCP1252);
    EXPECT_EQ(control<QListWidget>(sheet, "activeContentList")->count(), 2);
    EXPECT_TRUE(control<QLabel>(sheet, "summaryLabel")->text().contains("logo.png"))
        << control<QLabel>(sheet, "summaryLabel")->text().toStdString();

    sheet->selectFile();
    EXPECT_EQ(alerts.shown, QStringList{Localizer::localizedString("Localized-HTMLImport", "Error")});
    control<QTableView>(sheet, "refTable")->selectRow(1);
    chooser.answer = dir.filePath("elsewhere/logo.png");
    sheet->selectFile();
    EXPECT_EQ(control<QTableView>(sheet, "refTable")->model()->index(1, 2).data().toString(), "OK");
    saveScreenshot(*sheet, "html-import.png");

    // UTF-8 cannot read the page: no references, and OK keeps the sheet open.
    const int utf8 = control<QComboBox>(sheet, "encodingMenu")->findData(QVariant::fromValue(HTMLEncoding::UTF8));
    control<QComboBox>(sheet, "encodingMenu")->setCurrentIndex(utf8);
    emit control<QComboBox>(sheet, "encodingMenu")->activated(utf8);
    EXPECT_EQ(control<QTableView>(sheet, "refTable")->model()->rowCount(), 0);
    okButton(sheet)->click();
    EXPECT_TRUE(bodies.isEmpty());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(alerts.shown.last(), Localizer::localizedString("Localized", "Bad Encoding"));

    // A page refused for its structure says so, whatever its encoding.
    const struct {
        QByteArray page;
        const char *title;
    } refused[] = {
        {QByteArray("<div>").repeated(1'000), "The page is nested too deeply to import"},
        {"<img " + QByteArray("a=1 ").repeated(1'000) + ">", "A tag of the page has too many attributes to import"},
    };
    for (const auto &r : refused) {
        HTMLImport structure;
        structure.setPage(r.page, dir.filePath("page"));
        auto *refusing = new HTMLConverter(nullptr, std::move(structure), [&](const RichText &body) { bodies << body; });
        refusing->show();
        okButton(refusing)->click();
        EXPECT_TRUE(refusing->isVisible());
        EXPECT_EQ(alerts.shown.last().toStdString(), r.title);
        refusing->close();
    }
    EXPECT_TRUE(bodies.isEmpty());

    const int cp1252 = control<QComboBox>(sheet, "encodingMenu")->findData(QVariant::fromValue(HTMLEncoding::WindowsCP1252));
    control<QComboBox>(sheet, "encodingMenu")->setCurrentIndex(cp1252);
    emit control<QComboBox>(sheet, "encodingMenu")->activated(cp1252);
    okButton(sheet)->click();
    ASSERT_EQ(bodies.size(), 1);
    EXPECT_EQ(AttributedTagString::textTagString(bodies[0]),
              QStringLiteral("<img src=\"<pic.png>\"><img src=\"logo.png\"><script>go()</script>"
                             "<img src=\"http://cdn.example/x.gif\"><p>caf\u00e9"));
}
