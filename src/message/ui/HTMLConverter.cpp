#include "HTMLConverter.h"

#include "ui_HTMLConverter.h"

#include "FileChooser.h"
#include "HTMLEncoding.h"

#include "ActionGuard.h"
#include "Alerts.h"
#include "Localizer.h"

#include <QHeaderView>
#include <QInputDialog>
#include <QPointer>

HTMLConverter::HTMLConverter(QWidget *parent, HTMLImport import, std::function<void(const RichText &)> imported)
    : QDialog(parent), m_ui(std::make_unique<Ui::HTMLConverter>()), m_import(std::move(import)),
      m_imported(std::move(imported))
{
    m_ui->setupUi(this);
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    m_model = new HTMLReferenceModel(m_import, this);
    m_ui->refTable->setModel(m_model);
    m_ui->refTable->horizontalHeader()->setStretchLastSection(true);
    m_ui->refTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Interactive);
    m_ui->refTable->setColumnWidth(0, 260);
    m_ui->refTable->setColumnWidth(1, 260);
    m_ui->activeContentLabel->setText(
        Localizer::localizedString("Localized-HTMLImport", "Scripts and remote content"));
    // The same table of items selects the detected encoding and reads the chosen one.
    for (const quint64 encoding : HTMLEncoding::offeredEncodings())
        m_ui->encodingMenu->addItem(HTMLEncoding::displayName(encoding), QVariant::fromValue(encoding));
    const int detected = m_ui->encodingMenu->findData(QVariant::fromValue(m_import.encoding()));
    if (detected >= 0)
        m_ui->encodingMenu->setCurrentIndex(detected);
    connect(m_ui->encodingMenu, &QComboBox::activated, this, &HTMLConverter::encodingChosen);
    connect(m_ui->selectFileButton, &QPushButton::clicked, this, &HTMLConverter::selectFile);
    connect(m_ui->prependURLButton, &QPushButton::clicked, this, &HTMLConverter::prependURL);
    connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &HTMLConverter::accept);
    connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &HTMLConverter::reject);
    refresh();
}

HTMLConverter::~HTMLConverter() = default;

void HTMLConverter::displayAsSheet()
{
    open();
}

void HTMLConverter::encodingChosen(int index)
{
    m_import.setEncoding(m_ui->encodingMenu->itemData(index).value<quint64>());
    refresh();
}

void HTMLConverter::refresh()
{
    m_model->reload();
    m_ui->activeContentList->clear();
    m_ui->activeContentList->addItems(m_import.activeContent());
    QString summary;
    if (!m_import.decodes()) {
        summary = Localizer::localizedString("Localized", "Bad Encoding Message");
    } else if (m_import.scanStatus() != HTMLScan::Status::Parsed) {
        summary = Localizer::localizedString("Localized-HTMLImport", "Page Structure Refused");
    } else if (const QStringList unreplaced = m_import.unreplaced(); !unreplaced.isEmpty()) {
        summary = Localizer::localizedString("Localized-HTMLImport", "References Not Replaced")
                      .arg(unreplaced.size())
                      .arg(unreplaced.join(QStringLiteral(", ")));
    }
    m_ui->summaryLabel->setText(summary);
    m_ui->summaryLabel->setVisible(!summary.isEmpty());
}

QList<int> HTMLConverter::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : m_ui->refTable->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

void HTMLConverter::selectFile()
{
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        DoDisplayAlertSheet_Loc(QStringLiteral("Localized-HTMLImport"), QStringLiteral("Error"),
                                QStringLiteral("Select Entry"), this);
        return;
    }
    const int row = m_ui->refTable->currentIndex().isValid() && rows.contains(m_ui->refTable->currentIndex().row())
                        ? m_ui->refTable->currentIndex().row()
                        : rows.first();
    const QPointer<HTMLConverter> self(this);
    FileChooser::current().chooseFile(this, QString(), {}, [self, row](const QString &path) {
        if (!self || path.isNull())
            return;
        ActionGuard::run([&] {
            if (!self->m_import.selectFile(row, path)) {
                DoDisplayAlertSheet_Loc(QStringLiteral("Localized-HTMLImport"), QStringLiteral("Error"),
                                        QStringLiteral("Not A Regular File"), self);
                return;
            }
            self->refresh();
        });
    });
}

void HTMLConverter::prependURL()
{
    if (selectedRows().isEmpty()) {
        DoDisplayAlertSheet_Loc(QStringLiteral("Localized-HTMLImport"), QStringLiteral("Error"),
                                QStringLiteral("Select Entry"), this);
        return;
    }
    auto *sheet = new QInputDialog(this);
    sheet->setWindowModality(Qt::WindowModal);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setLabelText(Localizer::localizedString("Localized-HTMLImport", "Base Address"));
    sheet->setTextValue(QStringLiteral("http://"));
    connect(sheet, &QInputDialog::textValueSelected, this, &HTMLConverter::prependURL_okClicked);
    sheet->open();
}

void HTMLConverter::prependURL_okClicked(const QString &base)
{
    m_import.prependURL(selectedRows(), base);
    refresh();
}

void HTMLConverter::accept()
{
    bool done = false;
    ActionGuard::run([this, &done] {
        const std::optional<HTMLImport::Body> body = m_import.body();
        if (!body) {
            if (!m_import.decodes()) {
                DoDisplayAlert_Loc(QStringLiteral("Localized"), QStringLiteral("Bad Encoding"),
                                   QStringLiteral("Bad Encoding Message"));
            } else {
                const bool tooDeep = m_import.scanStatus() == HTMLScan::Status::TooDeep;
                DoDisplayAlert_Loc(QStringLiteral("Localized-HTMLImport"),
                                   tooDeep ? QStringLiteral("Page Too Deep") : QStringLiteral("Page Has Too Many Attributes"),
                                   QStringLiteral("Page Structure Refused"));
            }
            return;
        }
        if (m_imported)
            m_imported(body->text);
        done = true;
    });
    if (done)
        QDialog::accept();
}
