#pragma once

// A document holding its file's bytes that can pretend a send run is going,
// and panels answering from lists; both note what happened in one log.

#include "AppException.h"
#include "Document.h"
#include "DocumentController.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMainWindow>
#include <QStringList>

class FakeDocument : public Document {
public:
    explicit FakeDocument(QStringList *log) : m_log(log) {}

    [[nodiscard]] QString writableType() const override { return QStringLiteral("Fake"); }
    [[nodiscard]] QString fileExtension() const override { return QStringLiteral("quorv2"); }
    [[nodiscard]] QString typeForFile(const QString &path, const QByteArray &) const override
    {
        return path.endsWith(QStringLiteral(".old")) ? QStringLiteral("Fake Old") : writableType();
    }
    bool loadDataRepresentation(const QByteArray &data, const QString &) override
    {
        if (data.startsWith("FAKE"))
            contents = data;
        return data.startsWith("FAKE");
    }
    [[nodiscard]] QByteArray dataRepresentationOfType(const QString &) override
    {
        if (throwOnWrite)
            throw AppException(ExceptionNames::InternalInconsistency, QStringLiteral("table in a bad state"));
        return contents;
    }
    [[nodiscard]] bool isRunActive() const override { return sending; }
    [[nodiscard]] bool canClose(QString *reason) const override
    {
        if (sending && reason)
            *reason = QStringLiteral("A send run is in progress.");
        return !sending;
    }
    void prepareToQuit() override
    {
        m_log->append(QStringLiteral("prepareToQuit ") + displayName());
        sending = sending && refusesToStop;
    }
    void edit(const QByteArray &newContents)
    {
        contents = newContents;
        updateChangeCount(ChangeDone);
    }

    QByteArray contents;
    bool sending = false, refusesToStop = false, throwOnWrite = false;

protected:
    [[nodiscard]] QMainWindow *makeWindow() override { return new QMainWindow; }

private:
    QStringList *m_log;
};

class FakePanels : public DocumentPanels {
public:
    explicit FakePanels(QStringList *log) : m_log(log) {}

    [[nodiscard]] QString openFile(QWidget *) override { return openAnswers.isEmpty() ? QString() : openAnswers.takeFirst(); }
    [[nodiscard]] QString saveFile(QWidget *, const QString &suggestedPath) override
    {
        suggestions.append(suggestedPath);
        return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
    }
    [[nodiscard]] SaveChoice askSaveChanges(QWidget *, const QString &documentName) override
    {
        m_log->append(QStringLiteral("ask ") + documentName);
        return choices.isEmpty() ? Cancel : choices.takeFirst();
    }
    // Answered from the list; with none left, the changes stay.
    [[nodiscard]] bool askRevertChanges(QWidget *, const QString &documentName) override
    {
        m_log->append(QStringLiteral("revert? ") + documentName);
        return !revertAnswers.isEmpty() && revertAnswers.takeFirst();
    }
    // Answered from the list; with none left, sending goes on.
    [[nodiscard]] bool askStopSendingForQuit(QWidget *, const QString &documentName) override
    {
        m_log->append(QStringLiteral("stop? ") + documentName);
        return !stopAnswers.isEmpty() && stopAnswers.takeFirst();
    }
    void showError(QWidget *, const QString &title, const QString &text) override { errors.append(title + ": " + text); }

    QStringList openAnswers, saveAnswers, suggestions, errors;
    QList<SaveChoice> choices;
    QList<bool> stopAnswers;
    QList<bool> revertAnswers;

private:
    QStringList *m_log;
};

// The fakes in the shared controller while it lives; its documents go with it.
class ControllerFakes {
public:
    ControllerFakes() : panels(&log)
    {
        controller().setPanels(&panels);
        controller().setDocumentFactory([this] { return new FakeDocument(&log); });
    }
    ~ControllerFakes()
    {
        const QList<Document *> documents = controller().documents();
        for (Document *document : documents)
            controller().removeDocument(document);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        controller().setPanels(nullptr);
        controller().setDocumentFactory({});
    }
    Q_DISABLE_COPY_MOVE(ControllerFakes)

    static DocumentController &controller() { return DocumentController::sharedDocumentController(); }
    [[nodiscard]] FakeDocument *document(qsizetype index) const
    {
        return static_cast<FakeDocument *>(controller().documents().value(index));
    }

    QStringList log;
    FakePanels panels;
};
