// Wiring of the memories dialogs, offscreen: each starts its job once shown, its controls follow
// the job, its buttons reach the job, and a box the job asks for inside a radio callback is shown
// only from the event loop. The decisions themselves are tested beside the jobs.
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "link/contact.h"
#include "link/error_text.h"
#include "link/memory_port.h"
#include "memories/ui/banner_sheet.h"
#include "platform/manual_pump.h"
#include "sim/radio.h"

namespace rm7 {
namespace {

// The simulated radio and the model on a virtual clock; the Qt event loop runs beside it.
struct Bench {
    Bench() : radio(Options()) {
        auto port = std::make_unique<CMemoryPort>(pump, radio);
        model = std::make_unique<CModel>(pump, std::move(port));
        model->portName.Set("sim0");
        model->Contact().StartAtOpenPort();
        pump.AdvanceUntil([this] { return model->Contact().IsIdle(); }, 60000);
    }
    static rm7sim::Options Options() {
        rm7sim::Options options;
        options.latencyMs = 2;
        return options;
    }
    std::string Eeprom(std::uint32_t address, std::size_t length) {
        return std::string(radio.Eeprom().begin() + address, radio.Eeprom().begin() + address + length);
    }
    CManualPump pump;
    rm7sim::Radio radio;
    std::unique_ptr<CModel> model;
};

struct Prompts {
    struct Box {
        std::string caption;
        std::string text;
        bool ownerVisible;
    };
    MemoriesDialogPrompts Make() {
        MemoriesDialogPrompts p;
        p.show = [this](QWidget* owner, const std::string& caption, const std::string& text, MessageIcon) {
            shown.push_back({caption, text, owner->isVisible()});
        };
        p.ask = [this](QWidget*, const std::string& caption, const std::string& text, bool) {
            asked.push_back({caption, text, true});
            return answer;
        };
        p.help = [this](const QString& topic) { helpTopics.push_back(topic); };
        return p;
    }
    std::vector<Box> shown;
    std::vector<Box> asked;
    int answer = QMessageBox::No;
    QStringList helpTopics;
};

}  // namespace

class MemoriesDialogsTest : public QObject {
    Q_OBJECT

  private slots:
    void bannerReadsWhenShownAndSaveWritesTypedUpperCase() {
        Bench bench;
        const std::string old = std::string("OLD") + std::string(20, '\0');
        std::copy(old.begin(), old.end(), bench.radio.Eeprom().begin() + kBannerAddress);
        Prompts prompts;
        CPowerOnBannerSheet sheet(*bench.model, nullptr, prompts.Make());
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Edit Power On Banner"));
        QCOMPARE(sheet.SaveButton()->text(), QStringLiteral("Save"));
        QCOMPARE(sheet.Edit()->maxLength(), 22);
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QCOMPARE(bench.model->ActiveMachine(), static_cast<IStateMachine*>(&sheet.Job().Machine()));
        QVERIFY(!sheet.SaveButton()->isEnabled());  // until the banner has been read
        QVERIFY(bench.pump.AdvanceUntil([&] { return sheet.Job().Machine().IsIdle(); }, 60000));
        QCOMPARE(sheet.Edit()->text(), QStringLiteral("OLD"));
        QVERIFY(sheet.SaveButton()->isEnabled());

        sheet.Edit()->setFocus();
        sheet.Edit()->selectAll();
        QTest::keyClicks(sheet.Edit(), QStringLiteral("cq test  "));
        QCOMPARE(sheet.Edit()->text(), QStringLiteral("CQ TEST  "));
        QTest::keyClick(sheet.Edit(), Qt::Key_F1);
        QCOMPARE(prompts.helpTopics, QStringList{QStringLiteral("Configuration.htm#PowerOnBanner")});

        QTest::mouseClick(sheet.SaveButton(), Qt::LeftButton);
        QVERIFY(sheet.isVisible());  // open until the write and its read-back are done
        QVERIFY(bench.pump.AdvanceUntil([&] { return !sheet.isVisible(); }, 60000));
        QCOMPARE(bench.Eeprom(kBannerAddress, 8), std::string("CQ TEST\0", 8));
        QVERIFY(prompts.shown.empty());
        QCOMPARE(bench.model->ActiveMachine(), static_cast<IStateMachine*>(nullptr));
    }

    void bannerReadFailureIsShownOverTheSheetThenCloses() {
        Bench bench;
        bench.radio.SetSilent(true);
        Prompts prompts;
        CPowerOnBannerSheet sheet(*bench.model, nullptr, prompts.Make());
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QVERIFY(bench.pump.AdvanceUntil([&] { return sheet.Job().Machine().IsIdle(); }, 60000));
        QTRY_VERIFY(!sheet.isVisible());
        QCOMPARE(prompts.shown.size(), std::size_t{1});
        QCOMPARE(prompts.shown[0].caption, std::string("Power On Banner Error"));
        QCOMPARE(prompts.shown[0].text, ErrorText(kErrNoResponseReadEeprom));
        QVERIFY(prompts.shown[0].ownerVisible);
    }

    void bannerCancelDuringTheReadClosesWithoutABox() {
        Bench bench;
        Prompts prompts;
        CPowerOnBannerSheet sheet(*bench.model, nullptr, prompts.Make());
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
        QVERIFY(sheet.isVisible());
        QVERIFY(bench.pump.AdvanceUntil([&] { return !sheet.isVisible(); }, 60000));
        QCOMPARE(sheet.Job().Machine().GetResult(), kErrorCancelled);
        QTest::qWait(0);
        QVERIFY(prompts.shown.empty());
    }
};

}  // namespace rm7

QTEST_MAIN(rm7::MemoriesDialogsTest)
#include "memories_dialogs_test.moc"
