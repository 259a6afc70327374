// Wiring of the Command Tester page and the macro editor, offscreen, against the in-process
// simulated radio on a virtual clock: what the keys and buttons send, what the output box shows,
// the enabling, and the editor's read, write and close rules.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextEdit>
#include <QtTest>

#include "link/contact.h"
#include "memories/ui/macro_editor_sheet.h"
#include "platform/error_text.h"
#include "platform/settings.h"
#include "terminal/ui/command_tester_page.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_dialog_prompts.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
namespace {

std::string ReceivedText(test::CRadioBench& bench) {
    const auto& bytes = bench.radio->Received();
    return std::string(bytes.begin(), bytes.end());
}

// The bench with its settings in a temporary file and the page selected, as the tab view does.
struct Rig {
    explicit Rig(const rm7sim::Options& options = test::CRadioBench::DefaultOptions())
        : settings(dir / "settings.conf"), bench(test::BenchStart::Idle, options, &settings) {
        bench.SetEeprom(kMacroBaseAddress, std::string(0x400, '\xFF'));
        page = std::make_unique<CCommandTesterPage>(*bench.session, test::RecordingDialogPrompts(prompts));
        bench.session->SetIdleTarget(page.get());
        page->OnSetActive();
    }
    ~Rig() { bench.session->SetIdleTarget(nullptr); }
    std::string Sent() { return ReceivedText(bench).substr(contacted); }
    void Contact() {
        QVERIFY(bench.Contact() == kOk);
        contacted = bench.radio->Received().size();
    }

    test::CTempFolder dir;
    CSettingsStore settings;
    test::CRadioBench bench;
    test::CRecordingPrompts prompts;
    std::unique_ptr<CCommandTesterPage> page;
    std::size_t contacted = 0;
};

struct CancelRow {
    const char* name;
    void (*start)(Rig&, CCommandMacrosSheet&);  // the radio work the Cancel falls into
    void (*ended)(Rig&, CCommandMacrosSheet&);  // how it ended
    const char* label;                          // macro 1's label once closed, or none
    // A stopped read: the editor stays with these words until closed. None: it closes.
    const char* outcome;
};

const CancelRow kCancelRows[] = {
    {"during a read",
     [](Rig& rig, CCommandMacrosSheet& sheet) {
         QTest::mouseClick(sheet.ReadButton(), Qt::LeftButton);
         QVERIFY(rig.bench.pump.AdvanceUntil([&] { return rig.page->Macros().labels.Get(0) == "ONE"; }, 60000));
     },
     [](Rig&, CCommandMacrosSheet& sheet) {
         QVERIFY(sheet.Job().Machine().IsIdle());
         QCOMPARE(sheet.Job().Machine().GetResult(), kErrorCancelled);
     },
     "ONE", kMacrosReadCancelledText},  // what was read stays
    {"while the contact runs", [](Rig& rig, CCommandMacrosSheet&) { rig.bench.session->Contact().StartAtOpenPort(); },
     [](Rig& rig, CCommandMacrosSheet&) { QVERIFY(rig.bench.session->Contact().IsIdle()); }, nullptr, nullptr},
};

}  // namespace

class CommandTesterTest : public QObject {
    Q_OBJECT

  private slots:
    void controlsFollowTheRadioAndNothingIsSentWithoutOne() {
        Rig rig;
        CCommandTesterPage& page = *rig.page;
        QCOMPARE(page.Index(), 4);
        QCOMPARE(page.HelpTopic(), QStringLiteral("CommandTester.htm"));
        QCOMPARE(page.MacroButton(0)->text(), QStringLiteral("MACRO1"));
        QCOMPARE(page.MacroButton(15)->text(), QStringLiteral("MACRO16"));
        QCOMPARE(page.ClearButton()->toolTip(), QStringLiteral("Erase output window"));
        QCOMPARE(page.Input()->font().family(), QStringLiteral("Courier New"));
        QCOMPARE(page.InitialFocus(), static_cast<QWidget*>(page.Input()));
        std::string saved;
        QCOMPARE(rig.settings.ReadString("", "CommandCaption16", saved), kOk);  // saved at once
        QCOMPARE(saved, std::string("MACRO16"));

        QVERIFY(!page.Input()->isEnabled());  // no radio yet
        QVERIFY(!page.MacroButton(3)->isEnabled());
        page.Input()->setText(QStringLiteral("FA"));
        QVERIFY(!page.Tester().SendInput("FA"));
        QCOMPARE(page.Input()->text(), QStringLiteral("FA"));  // the typed text stays
        rig.Contact();
        QVERIFY(page.Input()->isEnabled());
        QVERIFY(page.EditButton()->isEnabled());
    }

    void typingSendsAtTheSemicolonOrEnterAndShowsBothSides() {
        Rig rig;
        rig.Contact();
        CCommandTesterPage& page = *rig.page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        page.Input()->setFocus();
        QTest::keyClicks(page.Input(), QStringLiteral("RVM;"));
        QCOMPARE(rig.Sent(), std::string("RVM;"));
        QCOMPARE(page.Input()->text(), QString());
        QVERIFY(rig.bench.pump.AdvanceUntil([&] { return page.Output()->toPlainText().contains("RVM0"); }, 2000));

        QTest::keyClicks(page.Input(), QStringLiteral("FA"));
        QCOMPARE(rig.Sent(), std::string("RVM;"));  // nothing until Enter
        QTest::keyClick(page.Input(), Qt::Key_Return);
        QCOMPARE(rig.Sent(), std::string("RVM;FA"));  // no ";" added

        // A pasted pair goes as one text.
        page.Input()->setText(QStringLiteral(";FB;"));
        QCOMPARE(rig.Sent(), std::string("RVM;FA;FB;"));
        rig.bench.pump.AdvanceBy(100);

        // What the radio answered shows in black after what was sent.
        QVERIFY(page.Output()->toPlainText().contains(QRegularExpression("RVM;\\nRVM[0-9.]+;")));
        QTextCursor cursor(page.Output()->document());
        cursor.movePosition(QTextCursor::End);
        QCOMPARE(cursor.charFormat().foreground().color(), QColor(0, 0, 0));

        // Macro 2 sends the input line followed by its commands, in green.
        page.Macros().texts.Set(1, "MD1;");
        page.Input()->setText(QStringLiteral("FA"));
        QTest::mouseClick(page.MacroButton(1), Qt::LeftButton);
        QVERIFY(rig.Sent().ends_with("FAMD1;"));
        QVERIFY(page.Output()->toPlainText().endsWith(QStringLiteral("FAMD1;\n")));
        cursor.movePosition(QTextCursor::End);
        cursor.movePosition(QTextCursor::Left);
        QCOMPARE(cursor.charFormat().foreground().color(), QColor(0, 153, 0));

        QTest::mouseClick(page.ClearButton(), Qt::LeftButton);
        QCOMPARE(page.Output()->toPlainText(), QString());
    }

    void pacedTextGoesInPiecesSixtyMillisecondsApart() {
        Rig rig;
        rig.Contact();
        CCommandTesterPage& page = *rig.page;
        QVERIFY(page.Tester().Send("!ABCDEF"));
        QCOMPARE(rig.Sent(), std::string("!AB"));
        QVERIFY(!page.Input()->isEnabled());
        rig.bench.pump.AdvanceBy(59);
        QCOMPARE(rig.Sent(), std::string("!AB"));
        rig.bench.pump.AdvanceBy(1);
        QCOMPARE(rig.Sent(), std::string("!ABCD"));
        rig.bench.pump.AdvanceBy(60);
        QCOMPARE(rig.Sent(), std::string("!ABCDEF"));
        QVERIFY(!page.Input()->isEnabled());
        rig.bench.pump.AdvanceBy(60);
        QVERIFY(page.Input()->isEnabled());
        QVERIFY(page.Output()->toPlainText().startsWith(QStringLiteral("!ABCDEF")));
        QVERIFY(page.Output()->toPlainText().endsWith(QStringLiteral("\n")));
    }

    // Each command and each answer on a line of its own: an answer ends at its ';', so the next
    // command does not run on after it ("FA00007030000;FA;").
    void anAnswerEndsItsLineAndTheNextCommandStartsItsOwn() {
        Rig rig;
        rig.Contact();
        CCommandTesterPage& page = *rig.page;
        for (int i = 1; i <= 2; ++i) {
            page.Input()->setText(QStringLiteral("FA;"));
            QVERIFY(rig.bench.pump.AdvanceUntil(
                [&] { return page.Output()->toPlainText().count(QRegularExpression("FA[0-9]{11};")) == i; }, 2000));
        }
        rig.bench.pump.AdvanceBy(100);
        QVERIFY2(QRegularExpression(QStringLiteral("^FA;\\nFA[0-9]{11};\\nFA;\\nFA[0-9]{11};\\n$"))
                     .match(page.Output()->toPlainText())
                     .hasMatch(),
                 qPrintable(page.Output()->toPlainText()));
    }

    // Two commands sent before the first answer came: their answers arrive together, and each
    // still ends its own line.
    void answersThatArriveTogetherEachEndTheirLine() {
        Rig rig;
        rig.Contact();
        CCommandTesterPage& page = *rig.page;
        QVERIFY(page.Tester().Send("FA;"));
        QVERIFY(page.Tester().Send("FB;"));
        QVERIFY(rig.bench.pump.AdvanceUntil(
            [&] { return page.Output()->toPlainText().contains(QRegularExpression("FB[0-9]{11};")); }, 2000));
        rig.bench.pump.AdvanceBy(100);
        QVERIFY2(QRegularExpression(QStringLiteral("^FA;\\nFB;\\nFA[0-9]{11};\\nFB[0-9]{11};\\n$"))
                     .match(page.Output()->toPlainText())
                     .hasMatch(),
                 qPrintable(page.Output()->toPlainText()));
    }

    // The radio goes away during a paced send: the send stops there, the status line says why
    // once, and the controls wait for a radio again.
    void aRadioThatWentAwayIsSaidOnceAndStopsThePacedSend() {
        rm7sim::Options options = test::CRadioBench::DefaultOptions();
        options.faults.unplugAtReset = true;
        Rig rig(options);
        rig.Contact();
        CCommandTesterPage& page = *rig.page;
        QVERIFY(page.Tester().Send("@;LDD20000;RVM;"));
        QVERIFY(rig.bench.pump.AdvanceUntil([&] { return !page.Tester().Pacing(); }, 2000));
        rig.bench.pump.AdvanceBy(1000);
        QVERIFY(rig.Sent().find("RVM") == std::string::npos);
        const std::string said = ErrorText(kErrPortGone);
        QCOMPARE(std::count(rig.bench.notifier.status.begin(), rig.bench.notifier.status.end(), said), 1);
        QVERIFY(rig.bench.notifier.BoxLines().empty());
        QVERIFY(!page.Input()->isEnabled());
    }

    void editorReadsWritesAndSavesOnlyOnOk() {
        Rig rig;
        rig.Contact();
        rig.bench.SetEeprom(MacroFieldAddress(0, MacroField::Label), std::string("QRP\0", 4));
        rig.bench.SetEeprom(MacroFieldAddress(0, MacroField::Commands), std::string("PC5;\0", 5));
        CCommandTesterPage& page = *rig.page;
        bool checked = false;
        page.onEditorShown = [&](CCommandMacrosSheet& sheet) {
            QCOMPARE(sheet.windowTitle(), QStringLiteral("Edit Command Tester Macros"));
            QCOMPARE(sheet.Pages()->tabText(0), QStringLiteral("Macros Assignable to RM7"));
            QCOMPARE(sheet.LabelBox(4)->text(), QStringLiteral("MACRO5"));
            // What the radio's label field holds, limited while typing; the others are not the radio's.
            QTest::keyClicks(sheet.LabelBox(6), QStringLiteral("ABCDEFGHIJ"));
            QCOMPARE(sheet.LabelBox(6)->text().size(), 8);
            QCOMPARE(sheet.LabelBox(9)->maxLength(), QLineEdit().maxLength());
            sheet.LabelBox(6)->setText(QStringLiteral("MACRO7"));
            QCOMPARE(rig.bench.session->ActiveMachine(), static_cast<IStateMachine*>(&sheet.Job().Machine()));
            QVERIFY(sheet.ReadButton()->isEnabled());
            QTest::mouseClick(sheet.ReadButton(), Qt::LeftButton);
            QVERIFY(!sheet.LabelBox(0)->isEnabled());
            QVERIFY(rig.bench.pump.AdvanceUntil([&] { return !sheet.Job().Shell().Running(); }, 60000));
            QVERIFY(sheet.LabelBox(0)->isEnabled());
            QCOMPARE(sheet.OutcomeLabel()->text().toStdString(), std::string(kMacrosReadText));
            QCOMPARE(sheet.LabelBox(0)->text(), QStringLiteral("QRP"));
            QCOMPARE(sheet.CommandBox(0)->text(), QStringLiteral("PC5;"));
            QCOMPARE(sheet.LabelBox(4)->text(), QString());                            // an erased slot
            QCOMPARE(sheet.LabelBox(4)->placeholderText(), QStringLiteral("MACRO5"));  // as its button will say
            QCOMPARE(page.MacroButton(4)->text(), QString());                          // shown at once, until OK

            // Too long: refused with its box before anything is sent.
            const std::size_t before = rig.bench.radio->ReceivedCommands().size();
            sheet.CommandBox(2)->setText(QString(121, QChar('F')));
            QTest::mouseClick(sheet.WriteButton(), Qt::LeftButton);
            QTRY_COMPARE(rig.prompts.shown.size(), std::size_t{1});
            QCOMPARE(
                rig.prompts.ShownLines()[0],
                std::string("Macro Commands Length Error: Macro Commands 3 must be no longer than 120 characters"));
            QCOMPARE(rig.bench.radio->ReceivedCommands().size(), before);

            sheet.CommandBox(2)->setText(QStringLiteral("md3;"));
            sheet.LabelBox(1)->setText(QStringLiteral("  cw "));
            QTest::mouseClick(sheet.WriteButton(), Qt::LeftButton);
            QVERIFY(rig.bench.pump.AdvanceUntil([&] { return !sheet.Job().Shell().Running(); }, 60000));
            QVERIFY(sheet.isVisible());  // a good write keeps the editor open, saying so
            QVERIFY(sheet.OutcomeLabel()->text().startsWith(QString::fromLatin1(kMacrosWrittenText)));
            QCOMPARE(sheet.LabelBox(1)->text(), QStringLiteral("CW"));
            QCOMPARE(rig.bench.EepromText(MacroFieldAddress(1, MacroField::Label), 3), std::string("CW\0", 3));
            QCOMPARE(rig.bench.EepromText(MacroFieldAddress(2, MacroField::Commands), 5), std::string("MD3;\0", 5));

            sheet.Pages()->setCurrentIndex(1);
            sheet.LabelBox(9)->setText(QStringLiteral("a long label for ten"));  // page 2 takes any length
            QTest::keyClick(&sheet, Qt::Key_F1);
            QCOMPARE(rig.prompts.helpTopics, std::vector<std::string>{"CommandTester.htm#MacroEditor"});
            checked = true;
            QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
        };
        QVERIFY(page.EditMacros());
        QVERIFY(checked);
        QCOMPARE(rig.bench.session->ActiveMachine(), static_cast<IStateMachine*>(nullptr));
        QCOMPARE(page.MacroButton(1)->text(), QStringLiteral("CW"));
        QCOMPARE(page.MacroButton(4)->text(), QStringLiteral("MACRO5"));  // empty again becomes its default
        QCOMPARE(page.MacroButton(9)->text(), QStringLiteral("a long label for ten"));
        std::string saved;
        QCOMPARE(rig.settings.ReadString("", "CommandText3", saved), kOk);
        QCOMPARE(saved, std::string("MD3;"));
        CSettingsStore onDisk(rig.dir / "settings.conf");
        QCOMPARE(onDisk.Load(), kOk);
        QCOMPARE(onDisk.ReadString("", "CommandCaption10", saved), kOk);
        QCOMPARE(saved, std::string("a long label for ten"));
    }

    // Cancel while the editor's radio work runs: the editor stays until that has ended (a stopped
    // read says so until Close), then closes without a box, and nothing is saved.
    void editorCancelClosesOnceTheRadioWorkEndsAndSavesNothing_data() {
        QTest::addColumn<int>("row");
        for (std::size_t i = 0; i < std::size(kCancelRows); ++i) {
            QTest::newRow(kCancelRows[i].name) << static_cast<int>(i);
        }
    }
    void editorCancelClosesOnceTheRadioWorkEndsAndSavesNothing() {
        QFETCH(int, row);
        const CancelRow& c = kCancelRows[row];
        Rig rig;
        rig.Contact();
        rig.bench.SetEeprom(MacroFieldAddress(0, MacroField::Label), std::string("ONE\0", 4));
        CCommandMacrosSheet* open = nullptr;
        bool stayed = false;
        rig.page->onEditorShown = [&](CCommandMacrosSheet& sheet) {
            open = &sheet;
            c.start(rig, sheet);
            QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
            stayed = sheet.isVisible();
            if (c.outcome != nullptr) {
                // Stopped, the read says so, once, and the editor stays with it until closed.
                QVERIFY(rig.bench.pump.AdvanceUntil([&] { return sheet.OutcomeLabel()->isVisible(); }, 60000));
                QVERIFY(sheet.OutcomeLabel()->text().startsWith(QString::fromLatin1(c.outcome) + QStringLiteral("\n")));
                QVERIFY(sheet.isVisible());
                QCOMPARE(sheet.CancelButton()->text(), QStringLiteral("Close"));
                QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
            }
            QVERIFY(rig.bench.pump.AdvanceUntil(
                [&] {
                    QCoreApplication::processEvents();
                    return !sheet.isVisible();
                },
                60000));
            c.ended(rig, sheet);
        };
        QVERIFY(!rig.page->EditMacros());
        QVERIFY(open != nullptr);
        QVERIFY(stayed);
        QVERIFY(rig.prompts.shown.empty());
        if (c.label != nullptr) {
            QCOMPARE(rig.page->Macros().labels.Get(0), std::string(c.label));
        }
        std::string saved;
        QCOMPARE(rig.settings.ReadString("", "CommandCaption1", saved), kOk);
        QCOMPARE(saved, std::string("MACRO1"));  // but nothing is saved
    }
};

}  // namespace rm7

QTEST_MAIN(rm7::CommandTesterTest)
#include "command_tester_test.moc"
