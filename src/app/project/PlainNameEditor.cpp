#include "PlainNameEditor.h"

#include "ui_PlainNameEditor.h"

PlainNameEditor::PlainNameEditor(QWidget *parent)
    : PanelWindowController(parent), m_ui(std::make_unique<Ui::PlainNameEditor>())
{
    m_ui->setupUi(this);
    connect(m_ui->buttons, &QDialogButtonBox::accepted, this, &PanelWindowController::okClicked);
    connect(m_ui->buttons, &QDialogButtonBox::rejected, this, &PanelWindowController::cancelClicked);
}

PlainNameEditor::~PlainNameEditor() = default;

void PlainNameEditor::setName(const QString &name)
{
    m_ui->nameField->setText(name);
    m_ui->nameField->selectAll();
}

QString PlainNameEditor::name() const
{
    return m_ui->nameField->text();
}

void PlainNameEditor::setPrompt(const QString &prompt)
{
    m_ui->promptLabel->setText(prompt);
}
