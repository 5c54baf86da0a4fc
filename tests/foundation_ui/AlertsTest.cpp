#include "AlertDialog.h"
#include "Alerts.h"
#include "RecordingAlertPresenter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Hands the first modal dialog that comes up to `act`, which must dismiss
// it; a dialog that never comes up fails the test instead of hanging it.
void whenModalShows(std::function<void(QWidget *)> act)
{
    auto *timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, act] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            timer->deleteLater();
            act(modal);
        } else if (clock->elapsed() > 5000) {
            timer->deleteLater();
            ADD_FAILURE() << "no modal dialog came up";
        }
    });
    timer->start(10);
}

void expectPlainLabels(const QWidget *dialog)
{
    for (const QLabel *label : dialog->findChildren<QLabel *>()) {
        if (!label->text().isEmpty()) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText) << qPrintable(label->text());
        }
    }
}

} // namespace

TEST(Alerts, looksUpTitleAndTextByTableAndNeverFormatsThem)
{
    RecordingAlertPresenter presenter;
    QWidget window;

    DoDisplayAlert_Loc(QStringLiteral("Localized-Tags"), QStringLiteral("Message Number Tag Name"),
                       QStringLiteral("No entry %d %@ %1"));
    DoDisplayAlert(QStringLiteral("Message Number Tag Name"), QStringLiteral("100% sure"));
    DoDisplayAlertSheet(QStringLiteral("Sheet Title"), QStringLiteral("Sheet Text"), &window);
    DoDisplayAlertSheet_Loc(QStringLiteral("Localized-Tags"), QStringLiteral("Message Number Tag Name"),
                            QStringLiteral("Other"), &window);
    DoDisplayExtendedAlertSheet(QStringLiteral("Title"), QStringLiteral("Text %@"),
                                QStringLiteral("detail with %1 and %@ and <b>"), &window);

    ASSERT_EQ(presenter.shown.size(), 5);
    const auto &panelLoc = presenter.shown[0];
    EXPECT_EQ(panelLoc.kind, RecordingAlertPresenter::Panel);
    EXPECT_EQ(panelLoc.title, QStringLiteral("Message number"));
    EXPECT_EQ(panelLoc.text, QStringLiteral("No entry %d %@ %1")) << "a missing entry shows its key, literally";
    EXPECT_EQ(presenter.shown[1].title, QStringLiteral("Message Number Tag Name")) << "the plain form uses \"Localized\"";
    EXPECT_EQ(presenter.shown[1].text, QStringLiteral("100% sure"));

    EXPECT_EQ(presenter.shown[2].kind, RecordingAlertPresenter::Sheet);
    EXPECT_EQ(presenter.shown[2].window, &window);
    EXPECT_EQ(presenter.shown[3].title, QStringLiteral("Message number"));
    EXPECT_EQ(presenter.shown[4].text, QStringLiteral("Text %@\n\ndetail with %1 and %@ and <b>"));
    EXPECT_EQ(presenter.shown[4].window, &window);
}

TEST(Alerts, alertsAskedForOnAWorkerThreadComeUpOnTheMainThread)
{
    RecordingAlertPresenter presenter;
    QWidget window;
    QThread *worker = QThread::create([&window] {
        DoDisplayAlertSheet(QStringLiteral("From"), QStringLiteral("worker"), &window);
        DoDisplayAlert(QStringLiteral("Panel"), QStringLiteral("from worker"));
    });
    worker->start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return presenter.shown.size() == 2; }, 5000));
    ASSERT_TRUE(worker->wait(5000));
    delete worker;
    for (const auto &shown : presenter.shown)
        EXPECT_TRUE(shown.onMainThread) << qPrintable(shown.text);
    EXPECT_EQ(presenter.shown[0].window, &window);
}

TEST(QtAlerts, panelIsApplicationModalWithOneOkButtonAndShowsMarkupLiterally)
{
    bool dismissed = false;
    whenModalShows([&](QWidget *modal) {
        auto *dialog = qobject_cast<AlertDialog *>(modal);
        EXPECT_EQ(modal->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(modal->findChildren<QPushButton *>().size(), 1);
        expectPlainLabels(modal);
        if (dialog) {
            EXPECT_EQ(dialog->text(), QStringLiteral("See <a href=\"http://x\">here</a> & %d"));
            QTest::mouseClick(dialog->okButton(), Qt::LeftButton);
        } else {
            ADD_FAILURE() << "not an alert dialog";
            modal->close();
        }
        dismissed = true;
    });
    DoDisplayAlert(QStringLiteral("<b>Bold</b> title"), QStringLiteral("See <a href=\"http://x\">here</a> & %d"));
    EXPECT_TRUE(dismissed) << "the panel returns only once the user has pressed its button";
}

TEST(QtAlerts, sheetIsWindowModalReturnsAtOnceAndGoesWhenDismissed)
{
    QWidget window;
    window.show();
    DoDisplayAlertSheet(QStringLiteral("Sheet <i>title</i>"), QStringLiteral("Text"), &window);

    QPointer<AlertDialog> sheet = window.findChild<AlertDialog *>();
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->parentWidget(), &window);
    expectPlainLabels(sheet);
    QTest::mouseClick(sheet->okButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }, 5000)) << "a dismissed sheet frees itself";

    // Without a window the sheet is modal to the whole application.
    DoDisplayAlertSheet(QStringLiteral("No window"), QStringLiteral("Text"), nullptr);
    QPointer<AlertDialog> loose = qobject_cast<AlertDialog *>(QApplication::activeModalWidget());
    ASSERT_TRUE(loose);
    EXPECT_EQ(loose->windowModality(), Qt::ApplicationModal);
    QTest::mouseClick(loose->okButton(), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return loose.isNull(); }, 5000));
}

TEST(QtAlerts, aSuccessShowsTheInformationIconAWarningTheWarningIcon)
{
    QWidget window;
    window.show();
    const auto iconOf = [](QWidget *dialog) {
        for (QLabel *label : dialog->findChildren<QLabel *>()) {
            if (!label->pixmap().isNull())
                return label->pixmap().toImage();
        }
        return QImage();
    };
    const auto standard = [&window](QStyle::StandardPixmap kind) {
        const int size = window.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &window);
        return window.style()->standardIcon(kind, nullptr, &window).pixmap(size, size).toImage();
    };
    AlertPresenter::current().beginInformationSheet(QStringLiteral("Done"), QStringLiteral("It works"), &window);
    QPointer<AlertDialog> success = window.findChild<AlertDialog *>();
    ASSERT_TRUE(success);
    EXPECT_EQ(success->windowModality(), Qt::WindowModal);
    EXPECT_EQ(iconOf(success), standard(QStyle::SP_MessageBoxInformation));
    success->okButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return success.isNull(); }, 5000));

    DoDisplayAlertSheet(QStringLiteral("Failed"), QStringLiteral("It does not"), &window);
    QPointer<AlertDialog> warning = window.findChild<AlertDialog *>();
    ASSERT_TRUE(warning);
    EXPECT_EQ(iconOf(warning), standard(QStyle::SP_MessageBoxWarning));
    warning->okButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return warning.isNull(); }, 5000));
}

TEST(QtAlerts, hugeTextScrollsAndKeepsTheButtonOnScreen)
{
    QWidget window;
    window.show();
    QString detail;
    for (int i = 0; i < 5000; ++i)
        detail += QStringLiteral("recipient%1@example.invalid could not be read\n").arg(i);
    detail += QString(3000, u'x'); // one word wider than any screen
    DoDisplayExtendedAlertSheet(QStringLiteral("Title"), QStringLiteral("Text"), detail, &window);

    QPointer<AlertDialog> sheet = window.findChild<AlertDialog *>();
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->text().endsWith(detail)) << "the whole text is there to scroll through";
    const QRect screen = sheet->screen()->availableGeometry();
    EXPECT_LE(sheet->height(), screen.height());
    EXPECT_LE(sheet->width(), screen.width());
    const QRect button(sheet->okButton()->mapTo(sheet.data(), QPoint(0, 0)), sheet->okButton()->size());
    EXPECT_TRUE(sheet->rect().contains(button));
    sheet->okButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return sheet.isNull(); }, 5000));
}
