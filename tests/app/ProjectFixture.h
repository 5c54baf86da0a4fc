#pragma once

// A project window's world in a temporary folder: a table store, a contacts
// folder of two people, user defaults and the registry over them; alerts
// and questions recorded instead of shown. reopen() is a new launch.

#include "../foundation_ui/RecordingAlertPresenter.h"
#include "AddressBookDatabase.h"
#include "DatabaseManager.h"
#include "PlainArrayDatabase.h"
#include "RecordingQuestions.h"
#include "UserDefaults.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

using Rows = QList<QStringList>;

class ProjectFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(contactsFolder()));
        QFile people(contactsFolder() + QStringLiteral("/people.vcf"));
        ASSERT_TRUE(people.open(QIODevice::WriteOnly));
        people.write("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:ann\r\nN:Archer;Ann;;;\r\nFN:Ann Archer\r\n"
                     "EMAIL;TYPE=work:ann@example.org\r\nEND:VCARD\r\n"
                     "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:bob\r\nN:Baker;Bob;;;\r\nFN:Bob Baker\r\n"
                     "EMAIL:bob@example.org\r\nEND:VCARD\r\n");
        people.close();
        open();
    }
    void TearDown() override { close(); }

    QString contactsFolder() const { return m_dir.filePath(QStringLiteral("contacts")); }
    QString storeFolder() const { return m_dir.filePath(QStringLiteral("store")); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

    void open()
    {
        store = PlainArrayDatabase::openFolder(storeFolder());
        defaults = std::make_unique<UserDefaults>(m_dir.filePath(QStringLiteral("prefs.ini")));
        contacts = AddressBookDatabase::create(contactsFolder());
        contacts->waitUntilLoaded();
        registry = std::make_unique<DatabaseManager>(*defaults, store, contacts);
    }
    void close()
    {
        registry.reset();
        contacts.reset();
        store.reset();
        defaults.reset();
    }
    // A new launch: everything read again from disk.
    void reopen()
    {
        close();
        open();
    }

    TableRefPtr storedTable(const QString &name, const QStringList &columns, const Rows &rows)
    {
        TableRefPtr table = store->newTable();
        TableChangeBatch batch(table);
        table->setDisplayName(name);
        for (const QString &column : columns)
            table->newColumn(column);
        for (const QStringList &values : rows) {
            const RowRefPtr row = table->newRow();
            for (qsizetype i = 0; i < values.size(); ++i)
                row->setData(values[i], *table->columns().at(i));
        }
        return table;
    }

    static Rows contentsOf(const TableRef &table)
    {
        Rows rows;
        const QList<ColumnRefPtr> columns = table.columns();
        for (int i = 0; i < table.numberOfRows(); ++i) {
            QStringList values;
            for (const ColumnRefPtr &column : columns)
                values.append(table.rowAtIndex(i)->dataForColumn(*column).toString());
            rows.append(values);
        }
        return rows;
    }

    static QStringList columnNames(const QList<ColumnRefPtr> &columns)
    {
        QStringList names;
        for (const ColumnRefPtr &column : columns)
            names.append(column->displayName());
        return names;
    }

    // Pictures for review go to the build folder.
    static void saveScreenshot(QWidget *widget, const QString &name)
    {
        QString folder = qEnvironmentVariable("CORV_SCREENSHOT_DIR");
        if (folder.isEmpty())
            folder = QCoreApplication::applicationDirPath() + QStringLiteral("/app");
        ASSERT_TRUE(QDir().mkpath(folder));
        const QString file = QDir(folder).filePath(name);
        ASSERT_TRUE(widget->grab().save(file));
        EXPECT_FALSE(QImage(file).isNull());
    }

    QTemporaryDir m_dir;
    RecordingAlertPresenter alerts;
    RecordingQuestions questions;
    std::shared_ptr<PlainArrayDatabase> store;
    std::unique_ptr<UserDefaults> defaults;
    std::shared_ptr<AddressBookDatabase> contacts;
    std::unique_ptr<DatabaseManager> registry;
};
