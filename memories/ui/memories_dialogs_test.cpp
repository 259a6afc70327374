// Wiring of the memories dialogs, offscreen: each starts its job once shown, its controls follow
// the job, its buttons reach the job, and a box the job asks for inside a radio callback is shown
// only from the event loop. The decisions themselves are tested beside the jobs.
#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QtTest>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "clock/ui/date_time_sheet.h"
#include "link/contact.h"
#include "link/radio_session.h"
#include "memories/ui/banner_sheet.h"
#include "memories/ui/cw_memory_dialog.h"
#include "platform/error_text.h"
#include "tests/support/queued_calls.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_dialog_prompts.h"

namespace rm7 {
namespace {

// The simulated radio and the model on a virtual clock; the Qt event loop runs beside it.
// The CW memory's area in the radio's EEPROM holds `text`.
void SetCwMemory(test::CRadioBench& bench, std::size_t memory, const std::string& text) {
    CwArea area;
    area.fill(kCwErased);
    EncodeCwArea(text, area);
    std::copy(area.begin(), area.end(), bench.radio->Eeprom().begin() + CwAreaAddress(memory));
}

// 2026-12-10 10:00:00 UTC: the computer's clock when the pump's reads 0; the radio's is ahead.
constexpr std::int64_t kMorningMs = 1796896800000;

rm7sim::Options RadioClockAhead(std::int64_t offsetMs) {
    rm7sim::Options options = test::CRadioBench::DefaultOptions();
    options.clockEpochMs = kMorningMs;
    options.clockOffsetMs = offsetMs;
    return options;
}

TimeOfDay Shown(const QLabel* label) {
    TimeOfDay t{-1, -1, -1};
    std::sscanf(label->text().toLatin1().constData(), "%2d:%2d:%2d", &t.hour, &t.minute, &t.second);
    return t;
}

// A dialog opened on the bench, and when its job is done reading.
struct OpenDialog {
    std::unique_ptr<CJobDialog> dialog;
    std::function<bool()> readDone;
};

OpenDialog OpenBanner(test::CRadioBench& bench, test::CRecordingPrompts& prompts) {
    auto sheet = std::make_unique<CPowerOnBannerSheet>(*bench.session, nullptr, test::RecordingDialogPrompts(prompts));
    CPowerOnBannerSheet* s = sheet.get();
    return {std::move(sheet), [s] { return s->Job().Machine().IsIdle(); }};
}

OpenDialog OpenCwMemories(test::CRadioBench& bench, test::CRecordingPrompts& prompts) {
    auto dialog = std::make_unique<CCWMemoryDlg>(*bench.session, nullptr, test::RecordingDialogPrompts(prompts));
    CCWMemoryDlg* d = dialog.get();
    return {std::move(dialog), [d] { return d->Job().Machine().IsIdle(); }};
}

OpenDialog OpenDateTime(test::CRadioBench& bench, test::CRecordingPrompts& prompts) {
    auto sheet = std::make_unique<CDateTimeSheet>(*bench.session, nullptr, test::RecordingDialogPrompts(prompts),
                                                  [&bench] { return kMorningMs + bench.pump.TickCount(); });
    CDateTimeSheet* s = sheet.get();
    return {std::move(sheet), [s] { return s->Job().State() == CDateTimeJob::PageState::Idle; }};
}

struct ReadFailureRow {
    const char* name;
    rm7sim::Options options;
    void (*fault)(test::CRadioBench&);
    OpenDialog (*open)(test::CRadioBench&, test::CRecordingPrompts&);
    const char* caption;      // the box's
    Result code;              // whose text the box shows
    int result;               // the dialog's once closed
    const char* lastCommand;  // what the radio heard last, or none
    // A job on the job shell: the box says its outcome (these words, then the code's text) and
    // the dialog stays with it until closed. None: the box says the code's text and the dialog closes.
    const char* outcome = nullptr;
};

const std::vector<ReadFailureRow>& ReadFailureRows() {
    static const std::vector<ReadFailureRow> rows = {
        {"banner, silent radio", test::CRadioBench::DefaultOptions(),
         [](test::CRadioBench& bench) { bench.radio->SetSilent(true); }, OpenBanner, "Power On Banner Error",
         kErrNoResponseReadEeprom, QDialog::Rejected, nullptr, kBannerReadFailedText},
        {"CW memories, silent radio", test::CRadioBench::DefaultOptions(),
         [](test::CRadioBench& bench) { bench.radio->SetSilent(true); }, OpenCwMemories, "CW Memory Editor Error",
         kErrNoResponseReadEeprom, 2, nullptr, kCwReadFailedText},
        // The time menu is left even so.
        {"date and time, garbled display", RadioClockAhead(0),
         [](test::CRadioBench& bench) { bench.radio->SetDisplayAnswer("DS@@@@@@@@;"); }, OpenDateTime, "Set Time",
         kErrNoResponseDS, QDialog::Rejected, "MN255", kClockReadFailedText},
    };
    return rows;
}

struct CancelRow {
    const char* name;
    rm7sim::Options options;
    OpenDialog (*open)(test::CRadioBench&, test::CRecordingPrompts&);
    void (*cancel)(test::CRadioBench&, CJobDialog&);
    void (*after)(test::CRadioBench&, CJobDialog&);  // what the cancel leaves
    // A job on the job shell: the dialog stays with these words until closed. None: it closes.
    const char* outcome = nullptr;
};

const std::vector<CancelRow>& CancelRows() {
    static const std::vector<CancelRow> rows = {
        {"banner, Cancel at once", test::CRadioBench::DefaultOptions(), OpenBanner,
         [](test::CRadioBench&, CJobDialog& dialog) {
             QTest::mouseClick(static_cast<CPowerOnBannerSheet&>(dialog).CancelButton(), Qt::LeftButton);
         },
         [](test::CRadioBench&, CJobDialog& dialog) {
             QCOMPARE(static_cast<CPowerOnBannerSheet&>(dialog).Job().Machine().GetResult(), kErrorCancelled);
         },
         kBannerReadCancelledText},
        // The radio's time menu is left first, its clock untouched.
        {"date and time, Escape while reading", RadioClockAhead(3725000), OpenDateTime,
         [](test::CRadioBench& bench, CJobDialog& dialog) {
             bench.pump.AdvanceBy(700);
             QTest::keyClick(&dialog, Qt::Key_Escape);
         },
         [](test::CRadioBench& bench, CJobDialog&) {
             QCOMPARE(bench.radio->ReceivedCommands().back(), std::string("MN255"));
             QCOMPARE(bench.radio->ClockSecondsOfDay(bench.pump.TickCount()),
                      TimeOfDayAt(kMorningMs + 3725000 + bench.pump.TickCount(), true).SecondsOfDay());
         }},
    };
    return rows;
}

}  // namespace

class MemoriesDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void bannerReadsWhenShownAndSaveWritesTypedUpperCase() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        const std::string old = std::string("OLD") + std::string(20, '\0');
        std::copy(old.begin(), old.end(), bench.radio->Eeprom().begin() + kBannerAddress);
        test::CRecordingPrompts prompts;
        CPowerOnBannerSheet sheet(*bench.session, nullptr, test::RecordingDialogPrompts(prompts));
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Edit Power On Banner"));
        QCOMPARE(sheet.SaveButton()->text(), QStringLiteral("Save"));
        QVERIFY(sheet.findChildren<QTabWidget*>().isEmpty());
        QCOMPARE(sheet.Edit()->maxLength(), 22);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QCOMPARE(bench.session->ActiveMachine(), static_cast<IStateMachine*>(&sheet.Job().Machine()));
        QVERIFY(!sheet.SaveButton()->isEnabled());  // until the banner has been read
        QVERIFY(bench.pump.AdvanceUntil([&] { return sheet.Job().Machine().IsIdle(); }, 60000));
        QCOMPARE(sheet.Edit()->text(), QStringLiteral("OLD"));
        QVERIFY(sheet.SaveButton()->isEnabled());

        sheet.Edit()->setFocus();
        sheet.Edit()->selectAll();
        QTest::keyClicks(sheet.Edit(), QStringLiteral("cq test  "));
        QCOMPARE(sheet.Edit()->text(), QStringLiteral("CQ TEST  "));
        QTest::keyClick(sheet.Edit(), Qt::Key_F1);
        QCOMPARE(prompts.helpTopics, std::vector<std::string>{"Configuration.htm#PowerOnBanner"});

        QTest::mouseClick(sheet.SaveButton(), Qt::LeftButton);
        QVERIFY(sheet.isVisible());  // open until the write and its read-back are done
        QVERIFY(bench.pump.AdvanceUntil([&] { return !sheet.isVisible(); }, 60000));
        QCOMPARE(bench.EepromText(kBannerAddress, 8), std::string("CQ TEST\0", 8));
        QVERIFY(prompts.shown.empty());
        QCOMPARE(bench.session->ActiveMachine(), static_cast<IStateMachine*>(nullptr));
    }

    void cwMemoriesReadWhenShownAndSaveWritesWhatTheRadioCanSend() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        for (std::size_t i = 0; i < kCwMemoryCount; ++i) {
            SetCwMemory(bench, i, "");
        }
        SetCwMemory(bench, 0, "CQ CQ");
        SetCwMemory(bench, 5, std::string(kCwAreaSize, 'E'));  // full: longer than a box takes
        const std::string m6 = bench.EepromText(CwAreaAddress(5), kCwAreaSize);
        test::CRecordingPrompts prompts;
        CCWMemoryDlg dialog(*bench.session, nullptr, test::RecordingDialogPrompts(prompts));
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Edit CW Memories"));
        QCOMPARE(dialog.Edit(1)->maxLength(), 250);
        QStringList labels;
        for (QLabel* label : dialog.findChildren<QLabel*>()) {
            labels << label->text();
        }
        QVERIFY(labels.contains(QString::fromLatin1(kCwProsignsText)));
        QVERIFY(labels.contains(QStringLiteral("\"~\" is half space, \"|\" is IM (..--)")));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(bench.session->ActiveMachine(), static_cast<IStateMachine*>(&dialog.Job().Machine()));
        QVERIFY(!dialog.SaveButton()->isEnabled());  // until the memories have been read
        QVERIFY(!dialog.Edit(0)->isEnabled());
        QVERIFY(dialog.CancelButton()->isEnabled());
        QVERIFY(bench.pump.AdvanceUntil([&] { return dialog.Job().Machine().IsIdle(); }, 200000));
        QCOMPARE(dialog.Edit(0)->text(), QStringLiteral("CQ CQ"));
        QCOMPARE(dialog.Edit(5)->text(), QString(static_cast<qsizetype>(kCwAreaSize), QLatin1Char('E')));
        QVERIFY(dialog.SaveButton()->isEnabled());
        QVERIFY(dialog.Edit(1)->isEnabled());

        dialog.Edit(1)->setFocus();
        QTest::keyClicks(dialog.Edit(1), QStringLiteral("a#b ~|"));
        QCOMPARE(dialog.Edit(1)->text(), QStringLiteral("AB ~|"));
        dialog.Edit(2)->setFocus();
        QGuiApplication::clipboard()->setText(QStringLiteral("cq de x#1"));
        QTest::keySequence(dialog.Edit(2), QKeySequence::Paste);
        QCOMPARE(dialog.Edit(2)->text(), QStringLiteral("CQ DE X1"));
        dialog.Edit(3)->setText(QStringLiteral("dropped {text}"));  // what reaches the box otherwise
        QCOMPARE(dialog.Edit(3)->text(), QStringLiteral("DROPPED TEXT"));
        dialog.Edit(3)->clear();
        dialog.Edit(5)->setFocus();  // passing through the full memory leaves it whole

        QTest::keyClick(dialog.Edit(2), Qt::Key_F1);
        QTest::mouseClick(dialog.HelpButton(), Qt::LeftButton);
        QCOMPARE(prompts.helpTopics, (std::vector<std::string>{"EditCWMemories.htm", "EditCWMemories.htm"}));

        QTest::mouseClick(dialog.SaveButton(), Qt::LeftButton);
        QVERIFY(dialog.isVisible());  // open until the write is done
        QVERIFY(!dialog.SaveButton()->isEnabled());
        QVERIFY(bench.pump.AdvanceUntil([&] { return !dialog.isVisible(); }, 200000));
        QCOMPARE(dialog.result(), 1);
        CwArea area;
        std::string bytes = bench.EepromText(CwAreaAddress(1), kCwAreaSize);
        std::copy(bytes.begin(), bytes.end(), area.begin());
        QCOMPARE(DecodeCwArea(area), std::string("AB ~|"));
        bytes = bench.EepromText(CwAreaAddress(2), kCwAreaSize);
        std::copy(bytes.begin(), bytes.end(), area.begin());
        QCOMPARE(DecodeCwArea(area), std::string("CQ DE X1"));
        QCOMPARE(bench.EepromText(CwAreaAddress(5), kCwAreaSize), m6);
        QVERIFY(prompts.shown.empty());
        QVERIFY(prompts.asked.empty());
        QCOMPARE(bench.session->ActiveMachine(), static_cast<IStateMachine*>(nullptr));
    }

    void cwMemoriesEscapeWithAnUnsavedEditAsksFirst() {
        test::CRadioBench bench;
        QVERIFY(bench.Contact() == kOk);
        SetCwMemory(bench, 0, "TEST");
        const std::string m1 = bench.EepromText(CwAreaAddress(0), kCwAreaSize);
        test::CRecordingPrompts prompts;
        prompts.answer = Answer::Cancel;
        CCWMemoryDlg dialog(*bench.session, nullptr, test::RecordingDialogPrompts(prompts));
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY(bench.pump.AdvanceUntil([&] { return dialog.Job().Machine().IsIdle(); }, 200000));
        QCOMPARE(dialog.focusWidget(), static_cast<QWidget*>(dialog.CancelButton()));
        dialog.Edit(0)->setFocus();
        QTest::keyClicks(dialog.Edit(0), QStringLiteral("X"));
        // Escape while the box still has the focus: its edit counts.
        QTest::keyClick(dialog.Edit(0), Qt::Key_Escape);
        QCOMPARE(prompts.asked.size(), std::size_t{1});
        QCOMPARE(prompts.asked[0].caption, std::string("Unsaved Changes"));
        QCOMPARE(prompts.asked[0].text,
                 std::string("Changes have not been applied\r\n\r\nDo you want to save the changes?"));
        QVERIFY(dialog.isVisible());
        prompts.answer = Answer::No;
        QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.result(), 2);
        bench.pump.AdvanceBy(10000);
        QCOMPARE(bench.EepromText(CwAreaAddress(0), kCwAreaSize), m1);
    }

    void dateTimeSheetShowsBothClocksAndOkSetsTheRadio() {
        test::CRadioBench bench(test::BenchStart::Idle, RadioClockAhead(3725000));
        QVERIFY(bench.Contact() == kOk);
        test::CRecordingPrompts prompts;
        CDateTimeSheet sheet(*bench.session, nullptr, test::RecordingDialogPrompts(prompts),
                             [&] { return kMorningMs + bench.pump.TickCount(); });
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Set Time"));
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QCOMPARE(bench.session->ActiveMachine(), static_cast<IStateMachine*>(&sheet.Job().Machine()));
        QVERIFY(sheet.UtcButton()->isChecked());
        QVERIFY(sheet.ApplyButton()->isEnabled());
        bench.pump.AdvanceBy(1500);
        QCOMPARE(ClockDifference(Shown(sheet.ComputerTime()), Shown(sheet.RadioTime())), 3725);
        QCOMPARE(sheet.Difference()->text(), QStringLiteral("RM7 is 1 h 2 min 5 s ahead"));
        QVERIFY(sheet.findChildren<QTabWidget*>().isEmpty());  // one page needs no tab
        QTest::keyClick(&sheet, Qt::Key_F1);
        QCOMPARE(prompts.helpTopics, std::vector<std::string>{"Configuration.htm#SetDateTime"});

        sheet.LocalButton()->click();
        QCOMPARE(sheet.Job().Machine().utc.Get(), 0);
        sheet.UtcButton()->click();
        QCOMPARE(sheet.Job().Machine().utc.Get(), 1);

        QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
        QVERIFY(sheet.isVisible());  // open until the radio shows the time and the menu is left
        QVERIFY(bench.pump.AdvanceUntil([&] { return !sheet.isVisible(); }, 60000));
        QCOMPARE(sheet.result(), static_cast<int>(QDialog::Accepted));
        QCOMPARE(ClockDifference(Shown(sheet.ComputerTime()), Shown(sheet.RadioTime())), 0);
        QCOMPARE(sheet.Difference()->text(), QStringLiteral("Clock set"));
        QVERIFY2(bench.notifier.status.back().rfind("Clock set", 0) == 0, bench.notifier.status.back().c_str());
        QCOMPARE(bench.radio->ReceivedCommands().back(), std::string("MN255"));
        QVERIFY(!bench.radio->InTimeMenu());
        QVERIFY(prompts.shown.empty());
        QCOMPARE(bench.session->ActiveMachine(), static_cast<IStateMachine*>(nullptr));
    }

    // A radio reset to 00:05 and blanking the leading zero ("@0.05.00"), at 14:00: its time is
    // shown, OK asks whether to set it across midnight, and the answer decides.
    void dateTimeAcrossMidnightIsAskedAndBlankDigitsRead() {
        constexpr std::int64_t kAfternoonMs = 1796911200000;  // 2026-12-10 14:00:00 UTC
        for (const Answer answer : {Answer::Yes, Answer::No}) {
            rm7sim::Options options = test::CRadioBench::DefaultOptions();
            options.clockEpochMs = kAfternoonMs;
            options.clockOffsetMs = -(13 * 3600 + 55 * 60) * 1000LL;
            options.clockBlankLeadingZero = true;
            test::CRadioBench bench(test::BenchStart::Idle, options);
            QVERIFY(bench.Contact() == kOk);
            test::CRecordingPrompts prompts;
            prompts.answer = answer;
            CDateTimeSheet sheet(*bench.session, nullptr, test::RecordingDialogPrompts(prompts),
                                 [&] { return kAfternoonMs + bench.pump.TickCount(); });
            sheet.show();
            QVERIFY(QTest::qWaitForWindowExposed(&sheet));
            bench.pump.AdvanceBy(1000);
            QCOMPARE(sheet.RadioTime()->text().left(5), QStringLiteral("00:05"));

            QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
            // Asked from the event loop, never inside the radio's callback.
            QVERIFY(bench.pump.AdvanceUntil(
                [&] {
                    QCoreApplication::processEvents();
                    return !prompts.asked.empty();
                },
                60000));
            QCOMPARE(prompts.asked.size(), std::size_t{1});
            QCOMPARE(prompts.asked[0].caption, std::string("Set Time"));
            QCOMPARE(prompts.asked[0].text, std::string(kAcrossMidnightQuestion));
            QVERIFY(prompts.shown.empty());
            if (answer == Answer::Yes) {
                QVERIFY(bench.pump.AdvanceUntil([&] { return !sheet.isVisible(); }, 60000));
                QCOMPARE(sheet.result(), static_cast<int>(QDialog::Accepted));
                QCOMPARE(bench.radio->ClockSecondsOfDay(bench.pump.TickCount()),
                         TimeOfDayAt(kAfternoonMs + bench.pump.TickCount(), true).SecondsOfDay());
            } else {
                bench.pump.AdvanceBy(2000);
                QVERIFY(sheet.isVisible());  // open and reading, the radio's time as it was
                QCOMPARE(sheet.RadioTime()->text().left(5), QStringLiteral("00:05"));
                QTest::keyClick(&sheet, Qt::Key_Escape);
                QVERIFY(bench.pump.AdvanceUntil([&] { return !sheet.isVisible(); }, 60000));
            }
            QCOMPARE(bench.radio->ReceivedCommands().back(), std::string("MN255"));
            QVERIFY(prompts.shown.empty());
        }
    }

    // A read that fails: its box comes from the event loop, over the dialog, once; then the
    // dialog closes, or, for a job on the shell, stays with the outcome until closed.
    void aReadFailureIsShownOverTheDialogThenCloses_data() {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < ReadFailureRows().size(); ++i) {
            QTest::newRow(ReadFailureRows()[i].name) << static_cast<int>(i);
        }
    }
    void aReadFailureIsShownOverTheDialogThenCloses() {
        QFETCH(int, row);
        const ReadFailureRow& c = ReadFailureRows()[static_cast<std::size_t>(row)];
        test::CRadioBench bench(test::BenchStart::Idle, c.options);
        QVERIFY(bench.Contact() == kOk);
        c.fault(bench);
        test::CRecordingPrompts prompts;
        const OpenDialog open = c.open(bench, prompts);
        open.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(open.dialog.get()));
        QVERIFY(bench.pump.AdvanceUntil(open.readDone, 200000));
        QVERIFY(open.dialog->isVisible());  // the box comes from the event loop, over the dialog
        if (c.outcome != nullptr) {
            QTRY_COMPARE(prompts.shown.size(), std::size_t{1});
            QVERIFY(open.dialog->isVisible());
            auto* said = open.dialog->findChild<QLabel*>(QStringLiteral("outcome"));
            QVERIFY(said != nullptr && said->isVisible());
            QCOMPARE(said->text().toStdString(), prompts.shown[0].text);
            QVERIFY(QString::fromStdString(prompts.shown[0].text)
                        .startsWith(QString::fromStdString(std::string(c.outcome) + ": " + ErrorText(c.code))));
            auto* close = open.dialog->findChild<QPushButton*>(QStringLiteral("cancel"));
            QCOMPARE(close->text(), QStringLiteral("Close"));
            QTest::mouseClick(close, Qt::LeftButton);
        }
        QTRY_VERIFY(!open.dialog->isVisible());
        QCOMPARE(open.dialog->result(), c.result);
        QCOMPARE(prompts.shown.size(), std::size_t{1});
        QCOMPARE(prompts.shown[0].caption, std::string(c.caption));
        if (c.outcome == nullptr) {
            QCOMPARE(prompts.shown[0].text, ErrorText(c.code));
        }
        QVERIFY(prompts.shown[0].ownerVisible);
        if (c.lastCommand != nullptr) {
            QCOMPARE(bench.radio->ReceivedCommands().back(), std::string(c.lastCommand));
        }
    }

    // Cancel while the dialog reads: it stays until its job has ended, then closes without a box
    // (a job on the shell stays with its outcome until closed).
    void cancelDuringTheReadClosesWithoutABox_data() {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < CancelRows().size(); ++i) {
            QTest::newRow(CancelRows()[i].name) << static_cast<int>(i);
        }
    }
    void cancelDuringTheReadClosesWithoutABox() {
        QFETCH(int, row);
        const CancelRow& c = CancelRows()[static_cast<std::size_t>(row)];
        test::CRadioBench bench(test::BenchStart::Idle, c.options);
        QVERIFY(bench.Contact() == kOk);
        test::CRecordingPrompts prompts;
        const OpenDialog open = c.open(bench, prompts);
        open.dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(open.dialog.get()));
        c.cancel(bench, *open.dialog);
        QVERIFY(open.dialog->isVisible());
        if (c.outcome != nullptr) {
            auto* said = open.dialog->findChild<QLabel*>(QStringLiteral("outcome"));
            QVERIFY(bench.pump.AdvanceUntil([&] { return said->isVisible(); }, 60000));
            QVERIFY(said->text().startsWith(QString::fromLatin1(c.outcome)));
            auto* close = open.dialog->findChild<QPushButton*>(QStringLiteral("cancel"));
            QCOMPARE(close->text(), QStringLiteral("Close"));
            QTest::mouseClick(close, Qt::LeftButton);
        }
        QVERIFY(bench.pump.AdvanceUntil([&] { return !open.dialog->isVisible(); }, 60000));
        QVERIFY(test::RunQueuedCalls(open.dialog.get()));
        QVERIFY(prompts.shown.empty());
        c.after(bench, *open.dialog);
    }
};

}  // namespace rm7

QTEST_MAIN(rm7::MemoriesDialogsTest)
#include "memories_dialogs_test.moc"
