#pragma once

#include <QObject>

// The application's answers at launch: whether a new untitled document
// opens, and what happens once launching is over.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    explicit AppDelegate(QObject *parent = nullptr) : QObject(parent) {}

    [[nodiscard]] bool applicationShouldOpenUntitledFile() const;
    void applicationDidFinishLaunching();
};
