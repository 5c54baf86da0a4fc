#pragma once

// The application of the benchmarks that drive the windows: on Qt's
// offscreen platform, in a fresh home folder with preferences of its own,
// so that neither the user's preferences nor the log file in the user's
// home folder are touched.

#include "Settings.h"
#include "UserDefaults.h"

#include <QApplication>
#include <QTemporaryDir>

class OffscreenHome {
protected:
    OffscreenHome()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("HOME", m_home.path().toLocal8Bit());
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    }
    QTemporaryDir m_home;
};

// The home folder is made before the application, which reads it.
class OffscreenApplication : private OffscreenHome, public QApplication {
public:
    OffscreenApplication(int &argc, char **argv)
        : QApplication(argc, argv)
    {
        UserDefaults::setStandardFile(m_home.filePath(QStringLiteral("defaults.ini")));
        Settings::loadSettings();
    }
};
