#include "AttachmentEditor.h"

#include "ui_AttachmentEditor.h"

#include "SingleLineTextView.h"

#include "SimpleTag.h"

#include "Alerts.h"
#include "BetterString.h"
#include "FilePanels.h"
#include "Localizer.h"
#include "MenuText.h"
#include "Sheets.h"

#include <QButtonGroup>
#include <QFileInfo>
#include <QMenu>

AttachmentEditor::AttachmentEditor(const Database *database, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::AttachmentEditor>()), m_model(database),
      m_notFoundButtons(new QButtonGroup(this))
{
    m_ui->setupUi(this);
    // Folder and file names are shown as they are, markup or not.
    m_ui->rootDirField->setTextFormat(Qt::PlainText);
    m_ui->defaultFileField->setTextFormat(Qt::PlainText);

    auto *fields = new QMenu(this);
    for (const QString &name : m_model.fieldNames())
        fields->addAction(literalMenuText(name), this,
                          [this, name] { insertField(name); });
    m_ui->insertFieldMenu->setText(Localizer::localizedString("Localized", "FIELD_PULLDOWN_TITLE"));
    m_ui->insertFieldMenu->setMenu(fields);
    m_ui->insertFieldMenu->setPopupMode(QToolButton::InstantPopup);
    m_ui->fileNameField->useTagTextStorage();

    m_notFoundButtons->addButton(m_ui->abortButton, 0);
    m_notFoundButtons->addButton(m_ui->skipMessageButton, 1);
    m_notFoundButtons->addButton(m_ui->skipAttachmentButton, 2);
    m_notFoundButtons->addButton(m_ui->defaultFileButton, 3);
    connect(m_notFoundButtons, &QButtonGroup::idClicked, this, &AttachmentEditor::notFoundActionChanged);
    connect(m_ui->rootDirButton, &QPushButton::clicked, this, &AttachmentEditor::setRootDir);
    connect(m_ui->okButton, &QPushButton::clicked, this, &AttachmentEditor::okClicked);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &AttachmentEditor::cancelClicked);
    showModel();
}

AttachmentEditor::~AttachmentEditor() = default;

SingleLineTextView *AttachmentEditor::fileNameField() const { return m_ui->fileNameField; }
QLabel *AttachmentEditor::rootDirField() const { return m_ui->rootDirField; }
QLabel *AttachmentEditor::defaultFileField() const { return m_ui->defaultFileField; }
QToolButton *AttachmentEditor::insertFieldMenu() const { return m_ui->insertFieldMenu; }

void AttachmentEditor::editAttachment(std::shared_ptr<SmartAttachment> attachment)
{
    m_model.editAttachment(std::move(attachment));
    m_ui->fileNameField->setAttributedString(m_model.fileName());
    showModel();
}

void AttachmentEditor::showModel()
{
    m_ui->rootDirField->setText(
        m_model.rootDirectory().isEmpty() ? QString() : QFileInfo(m_model.rootDirectory()).fileName());
    m_ui->defaultFileField->setText(
        m_model.defaultFile().isEmpty() ? QString() : BetterString::fileNameWithoutSuffix(m_model.defaultFile()));
    revertNotFoundButtons();
}

void AttachmentEditor::displayAsSheet()
{
    showAsSheet(this);
}

void AttachmentEditor::setRootDir()
{
    m_model.setRootDirectory(
        FilePanels::current().chooseFolder(this, Localizer::localizedString("AttachmentTab", "Choose Root Folder")));
    showModel();
}

void AttachmentEditor::insertField(const QString &fieldName)
{
    if (!fieldName.isNull())
        m_ui->fileNameField->insertTag(std::make_shared<SimpleTag>(fieldName));
}

void AttachmentEditor::notFoundActionChanged(int action)
{
    if (m_model.notFoundActionChanged(action))
        setDefaultFile();
    else
        revertNotFoundButtons();
}

void AttachmentEditor::setDefaultFile()
{
    const QStringList paths = FilePanels::current().openFiles(
        this, Localizer::localizedString("AttachmentTab", "Choose Default File"), {}, false);
    // A cancelled panel shows the action as it was before the click.
    m_model.defaultFileChosen(paths.value(0));
    showModel();
}

void AttachmentEditor::revertNotFoundButtons()
{
    // Exclusive groups keep one button checked: off while none is to be.
    m_notFoundButtons->setExclusive(false);
    for (QAbstractButton *button : m_notFoundButtons->buttons())
        button->setChecked(m_notFoundButtons->id(button) == m_model.selectedAction());
    m_notFoundButtons->setExclusive(true);
}

void AttachmentEditor::okClicked()
{
    switch (m_model.okClicked(m_ui->fileNameField->attributedString())) {
    case AttachmentEditorModel::OkResult::RootFolderMissing:
        DoDisplayAlertSheet_Loc(QStringLiteral("AttachmentTab"), QStringLiteral("Root Folder Missing"),
                                QStringLiteral("Root Folder Missing Text"), this);
        return;
    case AttachmentEditorModel::OkResult::NoDefaultFile:
        DoDisplayAlertSheet_Loc(QStringLiteral("AttachmentTab"), QStringLiteral("No Default Attachment"),
                                QStringLiteral("No Default Attachment Text"), this);
        return;
    case AttachmentEditorModel::OkResult::Stored:
        if (m_changed)
            m_changed();
        break;
    case AttachmentEditorModel::OkResult::NoLongerListed:
        break;
    }
    accept();
}

void AttachmentEditor::cancelClicked()
{
    reject();
}
