#include "CSVImporter.h"

#include "ui_ImportCSV.h"

#include "CSVImportSession.h"
#include "FilePanels.h"
#include "RecipientCommands.h"

#include "ActionGuard.h"
#include "Localizer.h"

#include <QHeaderView>

CSVImporter::CSVImporter(QWidget *parentWindow) : QDialog(parentWindow), m_ui(std::make_unique<Ui::ImportCSV>())
{
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowModality(Qt::WindowModal);
    // Until the user picks one, the delimiter is detected.
    m_ui->delimiterMenu->setCurrentIndex(CSVImportSession::Automatic);
    m_ui->dataTable->horizontalHeader()->setDefaultSectionSize(CSVImportSession::PreviewColumnWidth);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &CSVImporter::okClicked);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

CSVImporter::~CSVImporter() = default;

void CSVImporter::displayAsSheet()
{
    const QStringList chosen = FilePanels::current().openFiles(
        parentWidget(), Localizer::localizedString("ImportCSV", "Choose a text file to import"), {}, false);
    if (chosen.isEmpty()) {
        deleteLater();
        return;
    }
    displayOptionsSheet(chosen.constFirst());
}

void CSVImporter::displayOptionsSheet(const QString &path)
{
    m_session = new CSVImportSession(path, this);
    m_ui->dataTable->setModel(m_session);
    connect(m_session, &CSVImportSession::reloaded, this, &CSVImporter::showStatus);
    connect(m_ui->encodingMenu, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_session->setEncodingIndex(index);
        m_session->reloadLater();
    });
    connect(m_ui->delimiterMenu, &QComboBox::activated, this, [this](int index) {
        const CSVImportSession::DelimiterField field = m_session->chooseDelimiter(index, m_ui->delimiterText->text());
        m_ui->delimiterText->setText(field.text);
        m_ui->delimiterText->setEnabled(field.enabled);
        if (field.selectText) {
            m_ui->delimiterText->setFocus();
            m_ui->delimiterText->selectAll();
        }
        m_session->reloadLater();
    });
    connect(m_ui->delimiterText, &QLineEdit::textEdited, this, [this](const QString &text) {
        const QString kept = m_session->delimiterTextEdited(text);
        if (kept != text)
            m_ui->delimiterText->setText(kept);
    });
    connect(m_ui->extractFieldNames, &QCheckBox::toggled, m_session, &CSVImportSession::setFirstRowTitles);
    m_session->setEncodingIndex(m_ui->encodingMenu->currentIndex());
    m_session->reloadNow();
    open();
}

void CSVImporter::showStatus()
{
    m_ui->statusLabel->setText(m_session->statusText());
}

void CSVImporter::okClicked()
{
    ActionGuard::run(
        [this] {
            if (!m_session)
                return;
            if (m_session->isReloadPending())
                m_session->reloadNow();
            if (m_commands)
                m_session->importInto(*m_commands);
            else if (m_target)
                m_target(m_session->resultDictionary());
        },
        parentWidget());
    accept();
}
