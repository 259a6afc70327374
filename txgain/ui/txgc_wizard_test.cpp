// The calibration wizard offscreen against the in-process simulated radio: its four pages, the
// run started by Calibrate with its log, the summary on the completion page, and Cancel during
// the carrier, which stops the run through its restore and leaves the outcome on the screen.
#include <QAbstractButton>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QtTest>

#include <cstdlib>
#include "link/contact.h"

#include "tests/support/radio_bench.h"
#include "tests/support/temp_folder.h"
#include "txgain/ui/calibration_page.h"
#include "txgain/ui/txgc_wizard.h"
#include "ui/quit_request.h"

namespace rm7 {
namespace {

class TXGCWizardTest : public QObject {
    Q_OBJECT

  private:
    // Advances the radio's clock until the job's run has ended, letting Qt run between events.
    static bool RunToEnd(test::CRadioBench& bench, CTXGCWizard& wizard) {
        const bool ended = bench.pump.AdvanceUntil(
            [&] {
                QCoreApplication::processEvents();
                return !wizard.Job().Running();
            },
            30 * 60 * 1000);
        QCoreApplication::processEvents();
        return ended;
    }
    static void Click(CTXGCWizard& wizard, QWizard::WizardButton which) {
        QAbstractButton* button = wizard.button(which);
        QVERIFY(button->isEnabled());
        button->click();
    }

    test::CTempFolder m_data;

  private slots:
    void initTestCase() {
        // The backups before each run go into the test's folder.
        setenv("XDG_DATA_HOME", m_data.Path().c_str(), 1);
    }

    void FourPagesAndTwoRunsSummarised() {
        test::CRadioBench bench(test::BenchStart::Contacted);
        bench.radio->Tx().SetXit(true);
        const std::string before = bench.radio->SettingsText(bench.pump.TickCount());
        std::vector<QString> topics;
        CTXGCWizard wizard(*bench.session, nullptr, [&topics](const QString& t) { topics.push_back(t); });
        wizard.show();
        QCOMPARE(wizard.windowTitle(), QStringLiteral("TX Gain Calibration"));
        QCOMPARE(wizard.currentId(), int(CTXGCWizard::kWelcome));
        Click(wizard, QWizard::HelpButton);
        Click(wizard, QWizard::NextButton);
        QCOMPARE(wizard.currentPage()->title(), QStringLiteral("Connect Dummy Load"));
        Click(wizard, QWizard::NextButton);
        QCOMPARE(wizard.currentId(), int(CTXGCWizard::kCalibrate));
        QVERIFY(!wizard.ClickNextLabel()->isVisibleTo(&wizard));

        wizard.CalibrateButton()->click();
        QVERIFY(!wizard.CalibrateButton()->isEnabled());
        QVERIFY(!wizard.button(QWizard::NextButton)->isEnabled());
        QVERIFY(!wizard.button(QWizard::BackButton)->isEnabled());
        // The log opens with the radio; the program's version is for Verbose Logging.
        QVERIFY(wizard.LogBox()->toPlainText().startsWith(QStringLiteral("RM7 MCU version ")));
        QVERIFY(!wizard.LogBox()->toPlainText().contains(QStringLiteral("RM7 Utility Version ")));
        // Next is refused while the run goes on, even when pressed through the wizard.
        wizard.next();
        QCOMPARE(wizard.currentId(), int(CTXGCWizard::kCalibrate));
        // A second start is refused and leaves the run alone.
        QVERIFY(!wizard.Job().Calibrate());
        // While the first carrier is keyed the page says where the run is, and that it transmits.
        QVERIFY(bench.pump.AdvanceUntil([&] { return bench.radio->Transmitting(bench.pump.TickCount()); }, 60000));
        QCOMPARE(wizard.StatusLabel()->text(), QStringLiteral("Band 1 of 11: 160 m at 1.900 MHz, 4 W"));
        QCOMPARE(wizard.ProgressBar()->value(), 1);
        QCOMPARE(wizard.ProgressBar()->maximum(), 22);
        QCOMPARE(wizard.ProgressBar()->format(), QStringLiteral("Band 1 of 11, 4 W"));
        QCOMPARE(wizard.TxIndicator()->text(), QStringLiteral("TX ON"));
        QVERIFY2(wizard.TimeLabel()->text().startsWith(QStringLiteral("Elapsed 0:")),
                 qPrintable(wizard.TimeLabel()->text()));
        QVERIFY(RunToEnd(bench, wizard));
        QCOMPARE(wizard.TxIndicator()->text(), QStringLiteral("TX OFF"));
        QVERIFY(
            wizard.StatusLabel()->text().startsWith(QStringLiteral("5 watt calibration succeeded: calibrated on 11")));
        const QString log = wizard.LogBox()->toPlainText();
        QVERIFY(log.contains(QStringLiteral(".before-txgain.RM7Config")));
        QVERIFY(log.contains(QStringLiteral("Calibrating at 52.000 MHz")));
        QVERIFY(log.contains(QStringLiteral("5 watt calibration succeeded")));
        QCOMPARE(log.count(QStringLiteral("Elapsed time: ")), 1);
        QCOMPARE(log.count(QStringLiteral("calibrated on 11 bands (160 m, 80 m, 60 m, ")), 1);  // the outcome, once
        QVERIFY(wizard.ClickNextLabel()->isVisibleTo(&wizard));
        QVERIFY(wizard.CalibrateButton()->isEnabled());
        QCOMPARE(bench.radio->SettingsText(bench.pump.TickCount()), before);

        // A second run; the summary keeps both, the first first.
        bench.radio->Tx().SetTxTest(true);
        wizard.CalibrateButton()->click();
        QVERIFY(RunToEnd(bench, wizard));
        Click(wizard, QWizard::NextButton);
        QCOMPARE(wizard.currentId(), int(CTXGCWizard::kCompletion));
        // The lines of both runs, then the last run's outcome: failed before any band, the settings back.
        const QString summary = wizard.SummaryBox()->toPlainText();
        QVERIFY(summary.startsWith(
            QStringLiteral("5 watt calibration succeeded\nRM7 must be in \"TX NORM\" for TX Gain Calibration\n"
                           "5 watt calibration failed\n5 watt calibration failed: ")));
        QVERIFY(
            summary.contains(QStringLiteral("; no band was calibrated; every setting the calibration changed "
                                            "was put back\nThe radio answers and runs its firmware.\n"
                                            "The configuration was backed up to ")));
        Click(wizard, QWizard::HelpButton);
        QCOMPARE(topics, (std::vector<QString>{QStringLiteral("TXGainCalibration.htm#Welcome"),
                                               QStringLiteral("TXGainCalibration.htm#Completion")}));
        Click(wizard, QWizard::FinishButton);
        QVERIFY(!wizard.isVisible());
    }

    // The Calibration page's button, clicked: it opens the wizard on this radio, whose Calibrate
    // runs the calibration to its end; the page's button is usable again afterwards.
    void PageButtonOpensTheWizardThatCalibrates() {
        test::CRadioBench bench(test::BenchStart::Contacted);
        const std::string before = bench.radio->SettingsText(bench.pump.TickCount());
        CCalibrationPage page(*bench.session, {});
        page.OnSetActive();
        QVERIFY(page.CalibrateButton()->isEnabled());

        // Drives the wizard as a person would, one step each time the test looks.
        QString title;
        QString summary;
        QString completion;
        QStringList firstRow;
        int rows = 0;
        bool calibrating = false;
        bool busy = false;
        QTimer driver;
        driver.setInterval(1);
        connect(&driver, &QTimer::timeout, [&] {
            auto* wizard = dynamic_cast<CTXGCWizard*>(QApplication::activeModalWidget());
            if (wizard == nullptr || busy) {
                return;
            }
            busy = true;
            if (!calibrating) {
                title = wizard->windowTitle();
                wizard->button(QWizard::NextButton)->click();
                wizard->button(QWizard::NextButton)->click();
                wizard->CalibrateButton()->click();
                calibrating = true;
            } else if (wizard->Job().Running()) {
                bench.pump.AdvanceBy(200);
            } else {
                wizard->button(QWizard::NextButton)->click();
                summary = wizard->SummaryBox()->toPlainText();
                completion = wizard->currentPage()->title();
                rows = wizard->BandTable()->rowCount();
                for (int c = 0; c < wizard->BandTable()->columnCount(); ++c) {
                    firstRow << wizard->BandTable()->item(0, c)->text();
                }
                wizard->button(QWizard::FinishButton)->click();
            }
            busy = false;
        });
        driver.start();
        page.CalibrateButton()->click();  // returns once the wizard has closed
        driver.stop();
        QCOMPARE(title, QStringLiteral("TX Gain Calibration"));
        QCOMPARE(completion, QStringLiteral("Calibration Complete"));
        QCOMPARE(rows, 11);
        QCOMPARE(firstRow, (QStringList{QStringLiteral("160 m"), QStringLiteral("1.900 MHz"), QStringLiteral("4.0 W"),
                                        QStringLiteral("6.0 W"), QStringLiteral("Calibrated")}));
        QVERIFY(
            summary.startsWith(QStringLiteral("5 watt calibration succeeded\n5 watt calibration succeeded: "
                                              "calibrated on 11 bands (")));
        QCOMPARE(bench.radio->Tx().Carriers(), 23u);
        QCOMPARE(bench.radio->SettingsText(bench.pump.TickCount()), before);
        QVERIFY(page.CalibrateButton()->isEnabled());
        page.OnKillActive();
    }

    void FinishWithoutCalibrating() {
        test::CRadioBench bench(test::BenchStart::Contacted);
        CTXGCWizard wizard(*bench.session);
        wizard.show();
        for (int i = 0; i < 3; ++i) {
            Click(wizard, QWizard::NextButton);
        }
        QCOMPARE(wizard.SummaryBox()->toPlainText(), QStringLiteral("No calibration was attempted"));
    }

    void CancelDuringTheCarrierRestoresBeforeClosing() {
        test::CRadioBench bench(test::BenchStart::Contacted);
        bench.radio->Tx().SetAntenna(3);
        const std::string before = bench.radio->SettingsText(bench.pump.TickCount());
        CTXGCWizard wizard(*bench.session);
        wizard.show();
        Click(wizard, QWizard::NextButton);
        Click(wizard, QWizard::NextButton);
        wizard.CalibrateButton()->click();
        QVERIFY(bench.pump.AdvanceUntil([&] { return bench.radio->Transmitting(bench.pump.TickCount()); }, 60000));
        Click(wizard, QWizard::CancelButton);
        QVERIFY(wizard.isVisible());  // not yet: the radio is put back first
        QVERIFY(wizard.StatusLabel()->text().startsWith(QStringLiteral("Stopping: ")));
        QVERIFY(RunToEnd(bench, wizard));
        QVERIFY2(wizard.StatusLabel()->text().contains(QString::fromLatin1(kSettingsPutBackText)),
                 qPrintable(wizard.StatusLabel()->text()));
        QVERIFY(!bench.radio->Transmitting(bench.pump.TickCount()));
        QCOMPARE(bench.radio->SettingsText(bench.pump.TickCount()), before);
        QCOMPARE(bench.radio->Tx().Carriers(), 1u);
        // The wizard stays with what happened; a second Cancel closes it.
        QVERIFY(wizard.isVisible());
        const QString log = wizard.LogBox()->toPlainText();
        QVERIFY(log.contains(QStringLiteral("5 watt calibration failed")));
        QVERIFY(
            log.contains(QStringLiteral("TX gain calibration was cancelled: no band was calibrated; every setting "
                                        "the calibration changed was put back\nThe radio answers")));
        QVERIFY(wizard.CalibrateButton()->isEnabled());
        Click(wizard, QWizard::NextButton);
        QCOMPARE(wizard.currentPage()->title(), QStringLiteral("Calibration Cancelled"));
        QCOMPARE(wizard.BandTable()->item(0, 4)->text(), QStringLiteral("Not calibrated"));
        QCOMPARE(wizard.BandTable()->item(1, 4)->text(), QStringLiteral("Not reached"));
        Click(wizard, QWizard::CancelButton);
        QVERIFY(!wizard.isVisible());
    }

    // The program asked to end (SIGTERM) mid-carrier: the wizard closes as Cancel closes it,
    // after the radio is put back, and only then does the program end; a second request ends
    // it at once.
    void QuitRequestWaitsForTheRestore() {
        test::CRadioBench bench(test::BenchStart::Contacted);
        bench.radio->Tx().SetRit(true);
        const std::string before = bench.radio->SettingsText(bench.pump.TickCount());
        CTXGCWizard wizard(*bench.session);
        wizard.setWindowModality(Qt::ApplicationModal);
        wizard.show();
        Click(wizard, QWizard::NextButton);
        Click(wizard, QWizard::NextButton);
        wizard.CalibrateButton()->click();
        QVERIFY(bench.pump.AdvanceUntil([&] { return bench.radio->Transmitting(bench.pump.TickCount()); }, 60000));
        int quits = 0;
        CQuitRequest request([&quits] { ++quits; });
        request.Request();
        QCOMPARE(quits, 0);
        QVERIFY(wizard.isVisible());
        QVERIFY(RunToEnd(bench, wizard));
        QTRY_VERIFY(!wizard.isVisible());
        QTRY_COMPARE(quits, 1);
        QVERIFY(!bench.radio->Transmitting(bench.pump.TickCount()));
        QCOMPARE(bench.radio->SettingsText(bench.pump.TickCount()), before);

        // Nothing open: the program ends at once; asked twice while a dialog stays, it ends too.
        int again = 0;
        CQuitRequest idle([&again] { ++again; });
        idle.Request();
        QCOMPARE(again, 1);
        QDialog stays;
        stays.setWindowModality(Qt::ApplicationModal);
        stays.show();
        QObject::connect(&stays, &QDialog::rejected, &stays, [&stays] { stays.show(); });
        int twice = 0;
        CQuitRequest insistent([&twice] { ++twice; });
        insistent.Request();
        QCOMPARE(twice, 0);
        insistent.Request();
        QCOMPARE(twice, 1);
    }

    void ScrolledUpLogStaysWhereTheUserLeftIt() {
        test::CRadioBench bench(test::BenchStart::Contacted);
        bench.model->trace.Set(1);  // many lines
        CTXGCWizard wizard(*bench.session);
        wizard.show();
        Click(wizard, QWizard::NextButton);
        Click(wizard, QWizard::NextButton);
        wizard.CalibrateButton()->click();
        QScrollBar* bar = wizard.LogBox()->verticalScrollBar();
        const auto advanceLines = [&](int lines) {
            const int before = wizard.LogBox()->document()->blockCount();
            QVERIFY(bench.pump.AdvanceUntil([&] { return wizard.LogBox()->document()->blockCount() >= before + lines; },
                                            60000));
            QCoreApplication::processEvents();
        };
        advanceLines(60);
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());  // followed while at the bottom
        bar->setValue(0);
        advanceLines(20);
        QCOMPARE(bar->value(), 0);
        bar->setValue(bar->maximum());
        advanceLines(20);
        QCOMPARE(bar->value(), bar->maximum());
        wizard.reject();
        QVERIFY(RunToEnd(bench, wizard));
    }

    void ScreenshotMidRun() {
        // Written only when asked for: RM7_SHOTS=DIR.
        const QByteArray dir = qgetenv("RM7_SHOTS");
        if (dir.isEmpty()) {
            QSKIP("RM7_SHOTS not set");
        }
        test::CRadioBench bench(test::BenchStart::Contacted);
        CTXGCWizard wizard(*bench.session);
        wizard.show();
        QVERIFY(wizard.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/txgc-welcome.png")));
        Click(wizard, QWizard::NextButton);
        QVERIFY(wizard.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/txgc-dummy-load.png")));
        Click(wizard, QWizard::NextButton);
        wizard.CalibrateButton()->click();
        QVERIFY(bench.pump.AdvanceUntil(
            [&] {
                QCoreApplication::processEvents();
                return bench.radio->Tx().Carriers() == 7;
            },
            10 * 60 * 1000));
        QCoreApplication::processEvents();
        QVERIFY(wizard.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/txgc-calibrate.png")));
        QVERIFY(RunToEnd(bench, wizard));
        QVERIFY(wizard.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/txgc-calibrate-ended.png")));
        Click(wizard, QWizard::NextButton);
        QVERIFY(wizard.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/txgc-completion.png")));
        CCalibrationPage page(*bench.session, {});
        page.resize(500, 200);
        page.OnSetActive();
        QVERIFY(page.CalibrateButton()->isEnabled());
        QCOMPARE(page.CalibrateButton()->toolTip(), QStringLiteral("Calibrate TX Gain with a dummy load"));
        QVERIFY(page.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/calibration-page.png")));
    }
};

}  // namespace
}  // namespace rm7

QTEST_MAIN(rm7::TXGCWizardTest)
#include "txgc_wizard_test.moc"
