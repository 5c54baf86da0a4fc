#pragma once

// A confirmation sheet with a checkbox for not asking again (see
// CheckSheetModel). Its layout is the interface description of its name;
// each button carries a "tag" property, the confirming one 1. Escape and
// the window's close button answer as a button other than 1 would.
//
// Main thread only.

#include <QDialog>
#include <QPointer>
#include <QString>

#include <functional>

class QAbstractButton;
class QCheckBox;
class QLabel;

class CheckSheet : public QDialog {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CheckSheet)
public:
    using Done = std::function<void(int tag)>;

    // The remembered answer when there is one (done is then called at
    // once with 1); else a new sheet on the window. Done is called once.
    // A question given replaces the one the layout holds (its label named
    // "question"), for what only the caller knows, such as counts.
    static void displaySheet(const QString &sheetName, QWidget *window, Done done, const QString &question = {});

    // Null for a name that has no interface description.
    [[nodiscard]] static CheckSheet *initWithSheet(const QString &sheetName, QWidget *parent = nullptr);
    void setDelegate(Done done) { m_done = std::move(done); }
    // Window-modal on the parent; deletes itself when it ends.
    void displayAsSheet();

    [[nodiscard]] const QString &sheetName() const { return m_sheetName; }
    [[nodiscard]] QCheckBox *checkbox() const { return m_checkbox; }
    [[nodiscard]] QLabel *question() const;
    // The button with the tag, if any.
    [[nodiscard]] QAbstractButton *buttonWithTag(int tag) const;
    void buttonClicked(int tag);

public slots:
    void reject() override;

private:
    CheckSheet(const QString &sheetName, QWidget *parent);
    void finish(int tag);

    QString m_sheetName;
    QCheckBox *m_checkbox = nullptr;
    Done m_done;
    bool m_finished = false;
};
