#pragma once

// The log tab: the styled log of the document's last send run, kept in the
// project file under "Log".
//
// Main thread only.

#include "MainTabDelegate.h"

#include "RichText.h"

#include <QVariantMap>
#include <QWidget>

#include <optional>

class QTextEdit;

class LogTab : public QWidget, public TabItem {
    Q_OBJECT
public:
    static inline const QString LogTextKey = QStringLiteral("Log Text");

    explicit LogTab(QWidget *parent = nullptr);

    [[nodiscard]] QTextEdit *textView() const { return m_textView; }
    [[nodiscard]] RichText logText() const;
    void setLogText(const RichText &text);

    void willBeSelected() override {}

    [[nodiscard]] QVariantMap fileData() const;
    // None leaves the log as it is; so does a part without a text in it.
    void readFileData(const std::optional<QVariantMap> &data);

private:
    QTextEdit *m_textView;
};
