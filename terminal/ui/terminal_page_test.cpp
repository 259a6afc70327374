// The Terminal page's wiring, offscreen, against the in-process radio in virtual time: keys and
// buttons reach the terminal, the panes show what it reports, the memories and options reach the
// settings, and the page works only while the radio runs its firmware. What the terminal sends
// and when is tested in terminal_test.
#include <QClipboard>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QtTest>

#include "platform/settings.h"
#include "terminal/ui/terminal_page.h"
#include "tests/support/radio_bench.h"
#include "tests/support/temp_folder.h"

namespace rm7 {

class TerminalPageTest : public QObject {
    Q_OBJECT

  private:
    struct Rig {
        test::CTempFolder dir;
        CSettingsStore store{dir.Path() / "settings.conf"};
        test::CRadioBench bench;
        std::unique_ptr<CTerminalPage> page;
        std::vector<QString> topics;

        explicit Rig(const std::string& preset = "")
            : store(Preset(dir, preset)), bench(test::BenchStart::Contacted, Options(), &store) {
            page = std::make_unique<CTerminalPage>(*bench.session,
                                                   [this](const QString& topic) { topics.push_back(topic); });
            page->resize(900, 600);
            page->show();
            bench.session->SetIdleTarget(page.get());
            page->OnSetActive();
        }
        ~Rig() {
            page->OnKillActive();
            bench.session->SetIdleTarget(nullptr);
        }
        static rm7sim::Options Options() {
            rm7sim::Options options = test::CRadioBench::DefaultOptions();
            options.txCharMs = 40;
            options.rxCharMs = 10;
            options.rxText = "RX;OK";
            return options;
        }
        static CSettingsStore Preset(const test::CTempFolder& dir, const std::string& text) {
            CSettingsStore store(dir.Path() / "settings.conf");
            std::string warning;
            store.FromText(text, warning);
            return store;
        }
        bool Run(const std::function<bool()>& done, std::uint32_t ms = 30000) {
            return bench.pump.AdvanceUntil(done, ms);
        }
        std::vector<std::string> Keyed() const {
            std::vector<std::string> out;
            for (const std::string& c : bench.JobCommands()) {
                if (c.starts_with("KY")) {
                    out.push_back(c);
                }
            }
            return out;
        }
        QString Received() const { return page->ReceivePane()->toPlainText(); }
        QColor ColorAt(QTextEdit* pane, int position) const {
            QTextCursor c(pane->document());
            c.setPosition(position + 1);
            return c.charFormat().foreground().color();
        }
    };

  private slots:
    void LayoutFollowsTheModeAndTheSplitterStartsAtFourFifths() {
        Rig rig;
        CTerminalPage& page = *rig.page;
        QCOMPARE(page.Index(), 5);
        QVERIFY(page.ModeButton(TerminalMode::kCw)->isChecked());
        QVERIFY(page.ProsignLabel()->isVisible());
        QCOMPARE(page.MemoryButton(0)->text(), QStringLiteral("Memory 1"));
        QCOMPARE(page.MemoryButton(15)->text(), QStringLiteral("Memory 16"));
        const QList<int> sizes = page.Splitter()->sizes();
        QVERIFY(sizes[0] > 3 * sizes[1] && sizes[0] < 5 * sizes[1]);
        QCOMPARE(page.TransmitButton()->toolTip(), QStringLiteral("Ctrl+T also toggles transmit"));
        QCOMPARE(page.ClearButton()->toolTip(), QStringLiteral("Erase output window"));

        page.Settings().Captions(TerminalMode::kRtty).Set(2, "RTTY three");
        page.ModeButton(TerminalMode::kRtty)->click();
        QCOMPARE(page.Settings().mode.Get(), 1);
        QVERIFY(!page.ProsignLabel()->isVisible());
        QCOMPARE(page.MemoryButton(2)->text(), QStringLiteral("RTTY three"));
        page.Settings().Captions(TerminalMode::kRtty).Set(3, "four");
        QCOMPARE(page.MemoryButton(3)->text(), QStringLiteral("four"));
        page.Settings().Captions(TerminalMode::kCw).Set(3, "not shown");
        QCOMPARE(page.MemoryButton(3)->text(), QStringLiteral("four"));
        std::vector<std::uint8_t> stored;
        QCOMPARE(rig.store.ReadBinary("", "TerminalMode", stored), kOk);
        QCOMPARE(stored, std::vector<std::uint8_t>{1});
    }

    void TypedTextIsKeyedWithCtrlTAndEchoedGreen() {
        Rig rig;
        CTerminalPage& page = *rig.page;
        CTransmitPane* pane = page.TransmitPane();
        QVERIFY(pane->isEnabled());
        QTest::keyClicks(pane, "cq =");
        QVERIFY(rig.Keyed().empty());
        QVERIFY(rig.bench.notifier.shown.back() == "Press Ctrl+T to toggle transmit");
        QTest::keyClick(pane, Qt::Key_T, Qt::ControlModifier);
        QCOMPARE(page.TransmitButton()->text(), QStringLiteral("Stop"));
        QVERIFY(rig.Run([&] { return rig.Received().contains(QStringLiteral("cq BT")); }));
        QCOMPARE(rig.Keyed(), (std::vector<std::string>{"KY cq ="}));
        QCOMPARE(rig.ColorAt(pane, 0), QColor(0x7F, 0x7F, 0x7F));  // handed over: grey
        const int at = static_cast<int>(rig.Received().indexOf(QStringLiteral("cq BT")));
        QCOMPARE(rig.ColorAt(page.ReceivePane(), at), QColor(0x00, 0x99, 0x00));
        QVERIFY(rig.Run([&] { return rig.Received().contains(QStringLiteral("RX;OK")); }));

        // The sent text cannot be taken back; what is typed after it goes out too.
        QTest::keyClick(pane, Qt::Key_Backspace);
        QCOMPARE(pane->toPlainText(), QStringLiteral("cq ="));
        QTest::keyClicks(pane, "k");
        QVERIFY(rig.Run([&] { return rig.Keyed().size() == 2; }));
        QCOMPARE(rig.Keyed().back(), std::string("KY k"));
        // Enter drops the sent text up to its last line break before it is typed.
        QTest::keyClick(pane, Qt::Key_Return);
        QTest::keyClicks(pane, "x");
        QVERIFY(rig.Run([&] { return pane->SentLength() == 7; }));
        QTest::keyClick(pane, Qt::Key_Return);
        QCOMPARE(pane->toPlainText(), QStringLiteral("x\n"));

        QTest::keyClick(pane, Qt::Key_Escape);
        QCOMPARE(page.TransmitButton()->text(), QStringLiteral("Transmit"));
        QVERIFY(!page.Terminal().Transmitting());
        page.ClearButton()->click();
        QVERIFY(page.ReceivePane()->toPlainText().isEmpty());
        QVERIFY(pane->toPlainText().isEmpty());
    }

    // Text handed to the radio stays as it is whatever edit reaches for it, and what is typed
    // afterwards is keyed whole ("CQ C", Ctrl+Backspace, "DE G4XYZ" once keyed "E G4XYZ"). Each
    // edit comes with "D" typed behind the sent "CQ C" and not yet handed over: an edit that only
    // removes text removes what is not sent of it; any other is undone whole.
    void SentTextSurvivesEveryEditAndWhatFollowsIsKeyedWhole() {
        // A Ctrl+letter as a keyboard sends it: its text the control character, not the letter.
        const auto ctrlKey = [](CTransmitPane* pane, Qt::Key key, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
            const QString text(QChar(static_cast<char16_t>(key - Qt::Key_A + 1)));
            QKeyEvent press(QEvent::KeyPress, key, mods, text);
            QApplication::sendEvent(pane, &press);
            QKeyEvent release(QEvent::KeyRelease, key, mods, text);
            QApplication::sendEvent(pane, &release);
        };
        const auto caretAt = [](CTransmitPane* pane, int position) {
            QTextCursor c = pane->textCursor();
            c.setPosition(position);
            pane->setTextCursor(c);
        };
        // The context menu the pane shows; a disabled entry does nothing when chosen.
        const auto menuAction = [](CTransmitPane* pane, const char* name) {
            std::unique_ptr<QMenu> menu(pane->createStandardContextMenu());
            for (QAction* action : menu->actions()) {
                if (action->objectName() == QLatin1String(name)) {
                    action->trigger();
                    return true;
                }
            }
            return false;
        };
        const struct {
            const char* name;
            std::function<void(CTransmitPane*)> typeFirst;  // before Ctrl+T
            std::function<void(CTransmitPane*)> edit;       // once all is sent and "D" typed
            const char* after;                              // the pane after the edit
            bool typeD = true;
        } cases[] = {
            {"Ctrl+Backspace over a word begun in the sent text",
             {},
             [](CTransmitPane* p) { QTest::keyClick(p, Qt::Key_Backspace, Qt::ControlModifier); },
             "CQ C"},
            {"Ctrl+Delete in the sent text",
             {},
             [&](CTransmitPane* p) {
                 caretAt(p, 0);
                 QTest::keyClick(p, Qt::Key_Delete, Qt::ControlModifier);
             },
             "CQ CD"},
            {"Ctrl+X of everything",
             {},
             [&](CTransmitPane* p) {
                 p->selectAll();
                 ctrlKey(p, Qt::Key_X);
             },
             "CQ C"},
            {"Shift+Delete of everything",
             {},
             [](CTransmitPane* p) {
                 p->selectAll();
                 QTest::keyClick(p, Qt::Key_Delete, Qt::ShiftModifier);
             },
             "CQ CD"},  // an erase key with the selection reaching into the sent text goes to the end
            {"Ctrl+Z twice",
             {},
             [&](CTransmitPane* p) {
                 ctrlKey(p, Qt::Key_Z);
                 ctrlKey(p, Qt::Key_Z);
             },
             "CQ C"},
            {"Ctrl+Shift+Z of a Backspace undone before the text was sent",
             [&](CTransmitPane* p) {
                 QTest::keyClicks(p, "X");
                 QTest::keyClick(p, Qt::Key_Backspace);
                 ctrlKey(p, Qt::Key_Z);
             },
             [&](CTransmitPane* p) { ctrlKey(p, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier); }, "CQ CX", false},
            {"the context menu's Delete",
             {},
             [&](CTransmitPane* p) {
                 p->selectAll();
                 QVERIFY(menuAction(p, "edit-delete"));
             },
             "CQ C"},
            {"the context menu's Cut",
             {},
             [&](CTransmitPane* p) {
                 p->selectAll();
                 QVERIFY(menuAction(p, "edit-cut"));
             },
             "CQ C"},
            {"the context menu's Undo twice",
             {},
             [&](CTransmitPane* p) {
                 QVERIFY(menuAction(p, "edit-undo"));
                 QVERIFY(menuAction(p, "edit-undo"));
             },
             "CQ C"},
            // The offscreen platform has no drag to drive, so this makes the edit a drag-move's
            // drop makes: in one edit block the dragged selection goes and lands at the drop point.
            {"a drag-move of sent text",
             {},
             [](CTransmitPane* p) {
                 QTextCursor dragged(p->document());
                 dragged.setPosition(0);
                 dragged.setPosition(3, QTextCursor::KeepAnchor);
                 const QString text = dragged.selectedText();
                 dragged.beginEditBlock();
                 dragged.removeSelectedText();
                 dragged.movePosition(QTextCursor::End);
                 dragged.insertText(text);
                 dragged.endEditBlock();
             },
             "CQ CD"},
        };
        for (const auto& c : cases) {
            const QByteArray trace = c.name;
            Rig rig;
            CTerminalPage& page = *rig.page;
            CTransmitPane* pane = page.TransmitPane();
            QTest::keyClicks(pane, "CQ C");
            if (c.typeFirst) {
                c.typeFirst(pane);
            }
            const int sent = static_cast<int>(pane->toPlainText().size());
            QTest::keyClick(pane, Qt::Key_T, Qt::ControlModifier);
            QVERIFY2(rig.Run([&] { return pane->SentLength() == sent && page.Terminal().AllSent(); }), trace);

            if (c.typeD) {
                QTest::keyClicks(pane, "D");  // the virtual clock stands still: not handed over yet
            }
            c.edit(pane);
            QVERIFY2(pane->toPlainText() == QString::fromLatin1(c.after),
                     qPrintable(trace + ": " + pane->toPlainText()));
            QVERIFY2(pane->SentLength() == sent, trace);
            for (int i = 0; i < sent; ++i) {
                QVERIFY2(rig.ColorAt(pane, i) == QColor(0x7F, 0x7F, 0x7F), trace);
            }

            QTest::keyClick(pane, Qt::Key_End);
            QTest::keyClicks(pane, "DE G4XYZ");
            const QString whole = QString::fromLatin1(c.after) + QStringLiteral("DE G4XYZ");
            QVERIFY2(rig.Run([&] { return pane->SentLength() == whole.size() && page.Terminal().AllSent(); }), trace);
            std::string keyed;
            for (const std::string& command : rig.Keyed()) {
                keyed += command.substr(3);
            }
            QVERIFY2(keyed == whole.toStdString(), qPrintable(trace + ": " + QString::fromStdString(keyed)));
            QCOMPARE(pane->toPlainText(), whole);
        }
    }

    // Typing and pasting with the caret in the sent text go to its end; a drop there too.
    void TextPutIntoTheSentTextGoesToTheEnd() {
        Rig rig;
        CTransmitPane* pane = rig.page->TransmitPane();
        QTest::keyClicks(pane, "CQ C");
        QTest::keyClick(pane, Qt::Key_T, Qt::ControlModifier);
        QVERIFY(rig.Run([&] { return pane->SentLength() == 4; }));
        rig.page->Terminal().TransmitOff();
        QTextCursor c = pane->textCursor();
        c.setPosition(1);
        pane->setTextCursor(c);
        QTest::keyClicks(pane, "Q");
        c.setPosition(2);
        pane->setTextCursor(c);
        QApplication::clipboard()->setText(QStringLiteral(" DE"));
        QTest::keyClick(pane, Qt::Key_V, Qt::ControlModifier);
        QMimeData dropped;
        dropped.setText(QStringLiteral(" K"));
        const QPoint at = pane->cursorRect(c).center();
        QDragEnterEvent enter(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane->viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane->viewport(), &move);
        QDropEvent drop(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pane->viewport(), &drop);
        QCOMPARE(pane->toPlainText(), QStringLiteral("CQ CQ DE K"));
        QCOMPARE(pane->SentLength(), 4);
    }

    void MemoriesAreSentByButtonAndCtrlDigitAndEditedInTheirDialog() {
        Rig rig(
            "CWMemoryText1=string:\"[TXON]TEST[CRLF]\"\nCWMemoryCaption1=string:\"Call\"\n"
            "CWMemoryText10=string:\"TEN\"\n");
        CTerminalPage& page = *rig.page;
        QCOMPARE(page.MemoryButton(0)->text(), QStringLiteral("Call"));
        QTest::keyClick(page.TransmitPane(), Qt::Key_1, Qt::ControlModifier);
        QVERIFY(page.Terminal().Transmitting());
        QVERIFY(rig.Run([&] { return rig.Received().contains(QStringLiteral("TEST ")); }));
        QTest::keyClick(page.TransmitPane(), Qt::Key_0, Qt::ControlModifier);
        QVERIFY(rig.Run([&] { return rig.Received().contains(QStringLiteral("TEST TEN")); }));
        QCOMPARE(rig.Keyed(), (std::vector<std::string>{"KY TEST", "KY  ", "KY TEN"}));

        page.runDialog = [](QDialog& dialog) {
            auto& memories = static_cast<CTerminalMemoriesDlg&>(dialog);
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Terminal Memories: CW"));
            dialog.show();
            QVERIFY(QTest::qWaitForWindowActive(&dialog));
            QTest::keyClick(memories.Text(0), Qt::Key_F1);
            QCOMPARE(memories.Text(0)->text(), QStringLiteral("[TXON]TEST[CRLF]"));
            memories.Caption(4)->setText(QStringLiteral("Five"));
            memories.Text(4)->setText(QStringLiteral("73 \u00e9"));
            memories.Save();
            dialog.accept();
        };
        page.EditMemoriesButton()->click();
        QCOMPARE(page.MemoryButton(4)->text(), QStringLiteral("Five"));
        CSettingsStore reread(rig.store.File());
        QCOMPARE(reread.Load(), kOk);
        std::string text;
        QCOMPARE(reread.ReadString("", "CWMemoryText5", text), kOk);
        QCOMPARE(text, std::string("73 \xC3\xA9"));

        page.runDialog = [](QDialog& dialog) {
            auto& options = static_cast<CTerminalOptionsDlg&>(dialog);
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Terminal Options"));
            dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Help)->click();
            options.Timeout()->setValue(2.5);
            QFont font(QStringLiteral("Monospace"));
            font.setPointSizeF(12.4);
            font.setWeight(QFont::Bold);
            options.ChooseFont(font);
            options.Save();
            dialog.accept();
        };
        page.OptionsButton()->click();
        QCOMPARE(page.Settings().activityTimeoutMs.Get(), 2500ul);
        QCOMPARE(page.Settings().fontSize.Get(), 12ul);
        QCOMPARE(page.Settings().fontBold.Get(), 1);
        QVERIFY(page.TransmitPane()->font().bold());
        std::uint32_t timeout = 0;
        CSettingsStore again(rig.store.File());
        QCOMPARE(again.Load(), kOk);
        QCOMPARE(again.ReadDword("", "TerminalActivityTimeout", timeout), kOk);
        QCOMPARE(timeout, 2500u);
        QCOMPARE(rig.topics, (std::vector<QString>{QStringLiteral("Terminal.htm#Memories"),
                                                   QStringLiteral("Terminal.htm#Options")}));
    }

    // The idle time-out is edited in seconds: "5" typed is five seconds; a stored value the
    // seconds cannot show to the millisecond stays as it was unless changed. The font dialog
    // opens at the font the panes show, not at a name this system has no font for.
    void TheIdleTimeOutIsInSecondsAndTheFontDialogStartsAtThePanesFont() {
        Rig rig(
            "TerminalActivityTimeout=dword:000004D2\nTerminalFontName=string:\"Courier "
            "New\"\nTerminalFontSize=dword:0000000D\n");
        CTerminalPage& page = *rig.page;
        struct Case {
            const char* typed;  // nullptr: left alone
            unsigned long stored;
        };
        const Case cases[] = {{nullptr, 1234}, {"5", 5000}, {"0.5", 500}, {"0", 0}};
        for (const Case& c : cases) {
            page.runDialog = [&](QDialog& dialog) {
                auto& options = static_cast<CTerminalOptionsDlg&>(dialog);
                QCOMPARE(options.Timeout()->suffix(), QStringLiteral(" s"));
                if (c.typed != nullptr) {
                    options.Timeout()->clear();
                    QTest::keyClicks(options.Timeout(), QString::fromLatin1(c.typed));
                    options.Timeout()->interpretText();
                }
                options.Save();
                dialog.accept();
            };
            page.OptionsButton()->click();
            QCOMPARE(page.Settings().activityTimeoutMs.Get(), c.stored);
            if (c.typed == nullptr) {
                page.Settings().activityTimeoutMs.Set(1234);  // the next case starts from it too
            }
        }

        QFont offered;
        page.runDialog = [&](QDialog& dialog) {
            auto& options = static_cast<CTerminalOptionsDlg&>(dialog);
            options.fontDialog = [&](QFont& font) {
                offered = font;
                return false;
            };
            dialog.findChild<QPushButton*>(QStringLiteral("font"))->click();
            dialog.reject();
        };
        page.OptionsButton()->click();
        const QFontInfo shown(page.ReceivePane()->font());
        QCOMPARE(offered.family(), shown.family());
        QCOMPARE(offered.pointSize(), 13);
    }

    // "K" typed, then a memory "CQ": the radio gets "K CQ", not "KCQ"; and what was sent shows
    // on its own line after what was received.
    void AMemoryAfterTypedTextIsAWordOfItsOwnAndSentTextStartsALine() {
        Rig rig("CWMemoryText2=string:\"CQ\"\n");
        CTerminalPage& page = *rig.page;
        QVERIFY(rig.Run([&] { return rig.Received() == QStringLiteral("RX;OK"); }));
        QTest::keyClicks(page.TransmitPane(), "K");
        QTest::keyClick(page.TransmitPane(), Qt::Key_2, Qt::ControlModifier);
        QCOMPARE(page.TransmitPane()->toPlainText(), QStringLiteral("K CQ"));
        QTest::keyClick(page.TransmitPane(), Qt::Key_T, Qt::ControlModifier);
        QVERIFY(rig.Run([&] { return rig.Received().endsWith(QStringLiteral("K CQ")); }));
        QCOMPARE(rig.Received(), QStringLiteral("RX;OK\nK CQ"));
    }

    void DisabledWithoutFirmwareAndTransmissionEndsWhenHidden() {
        Rig rig;
        CTerminalPage& page = *rig.page;
        page.ModeButton(TerminalMode::kRtty)->click();
        QVERIFY(page.TransmitPane()->isEnabled());
        rig.bench.model->firmwareStatus.Set(kFirmwareBootLoader);
        QVERIFY(!page.TransmitPane()->isEnabled());
        for (QWidget* w : std::initializer_list<QWidget*>{page.TransmitButton(), page.MemoryButton(0),
                                                          page.ModeButton(TerminalMode::kPsk)}) {
            QVERIFY(!w->isEnabled());
            QVERIFY2(w->toolTip().contains(QStringLiteral("boot loader")), qPrintable(w->toolTip()));
        }
        // Clearing the panes needs no radio.
        QVERIFY(page.ClearButton()->isEnabled());
        page.Terminal().ToggleTransmit();
        QVERIFY(!page.Terminal().Transmitting());
        rig.bench.model->firmwareStatus.Set(kFirmwareRunning);
        QVERIFY(page.TransmitButton()->isEnabled());
        QCOMPARE(page.TransmitButton()->toolTip(), QStringLiteral("Ctrl+T also toggles transmit"));

        QTest::keyClicks(page.TransmitPane(), "A LONG RTTY TEXT STILL GOING OUT");
        page.TransmitButton()->click();
        QVERIFY(rig.Run([&] { return rig.Keyed().size() >= 2; }));
        page.OnKillActive();
        QCOMPARE(rig.Keyed().back(), std::string("KY \x04"));
        QCOMPARE(page.TransmitButton()->text(), QStringLiteral("Transmit"));
        const std::size_t keyed = rig.Keyed().size();
        rig.Run([] { return false; }, 3000);
        QCOMPARE(rig.Keyed().size(), keyed);
        page.OnSetActive();
    }
};

}  // namespace rm7

QTEST_MAIN(rm7::TerminalPageTest)
#include "terminal_page_test.moc"
