// The Port page offscreen: a port the user may not open is met with the offer of the doctor's
// diagnosis, shown only from the event loop and only on Yes.
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <fstream>

#include "link/ui/port_page.h"
#include "platform/result.h"
#include "platform/settings.h"
#include "tests/support/queued_calls.h"
#include "tests/support/radio_bench.h"
#include "tests/support/recording_dialog_prompts.h"
#include "tests/support/temp_folder.h"

namespace rm7 {
class PortPageTest : public QObject {
    Q_OBJECT

  private slots:
    void accessDeniedOffersTheDiagnosis() {
        for (const bool yes : {false, true}) {
            test::CTempFolder folder;
            const std::string device = (folder / "ttyUSB0").string();
            // A character device at the path, as an adapter's would be.
            std::filesystem::create_symlink("/dev/null", device);
            test::CRadioBench bench;
            bench.model->portName.Set(device);
            CPortPage page(*bench.session);
            test::CRecordingPrompts prompts;
            prompts.answer = yes ? Answer::Yes : Answer::No;
            page.SetPrompts(test::RecordingDialogPrompts(prompts));
            const std::vector<Question>& asked = prompts.asked;
            const std::vector<test::CRecordingPrompts::Box>& shown = prompts.shown;
            DoctorSystem system;
            system.sysRoot = folder / "sys";
            system.devRoot = folder.Path();
            system.procRoot = folder / "proc";
            system.holder = [](const std::string&, std::string& name) {
                name = "minicom";
                return 4242;
            };
            system.mayOpen = [](const std::string&) { return true; };
            system.inGroup = [](gid_t) { return true; };
            system.groupName = [](gid_t) { return std::string("dialout"); };
            page.SetDoctorSystem(system);
            page.OnSetActive();

            bench.memoryPort->FailNextOpen(kErrorAccessDenied);
            page.TestButton()->click();
            bench.pump.RunUntilIdle();
            QVERIFY(asked.empty());  // not from inside the contact's completion
            QTRY_COMPARE(asked.size(), std::size_t{1});
            QCOMPARE(asked[0].caption, std::string("Serial Port Access Denied"));
            QVERIFY(asked[0].text.find("Serial port \"" + device + "\" access denied;") == 0);
            QVERIFY(asked[0].text.find("Show what stands in the way?") != std::string::npos);
            if (!yes) {
                QVERIFY(test::RunQueuedCalls(&page));
                QVERIFY(shown.empty());
                continue;
            }
            QCOMPARE(shown.size(), std::size_t{1});
            QCOMPARE(shown[0].caption, std::string("Serial Port Diagnosis"));
            QVERIFY2(shown[0].text.find("FAIL holder") != std::string::npos, shown[0].text.c_str());
            QVERIFY2(shown[0].text.find("4242") != std::string::npos, shown[0].text.c_str());
            QVERIFY2(shown[0].text.find("minicom") != std::string::npos, shown[0].text.c_str());

            // Another failure is no matter for the doctor.
            bench.memoryPort->FailNextOpen(kErrorFileNotFound);
            page.TestButton()->click();
            bench.pump.RunUntilIdle();
            QVERIFY(test::RunQueuedCalls(&page));
            QCOMPARE(asked.size(), std::size_t{1});
        }
    }

    // A serial port on the network is typed as a device path is: Enter makes it the port, the
    // list shows it, and it is saved as the port.
    void typedNetworkPortIsThePortAndIsSaved() {
        test::CTempFolder folder;
        CSettingsStore settings(folder / "settings.conf");
        test::CRadioBench bench(test::BenchStart::Idle, test::CRadioBench::DefaultOptions(), &settings);
        CPortPage page(*bench.session);
        page.OnSetActive();
        QLineEdit* edit = page.PortList()->lineEdit();
        QVERIFY(edit != nullptr);
        edit->setText(QStringLiteral("  rfc2217://radio-pi.local:2000 "));
        QTest::keyClick(edit, Qt::Key_Return);
        bench.pump.RunUntilIdle();
        QCOMPARE(bench.model->portName.Get(), std::string("rfc2217://radio-pi.local:2000"));
        QCOMPARE(page.PortList()->currentText(), QStringLiteral("rfc2217://radio-pi.local:2000"));
        QCOMPARE(bench.model->SaveSettings(), kOk);
        CSettingsStore reread(folder / "settings.conf");
        QCOMPARE(reread.Load(), kOk);
        std::string saved;
        QCOMPARE(reread.ReadString("", "Port", saved), kOk);
        QCOMPARE(saved, std::string("rfc2217://radio-pi.local:2000"));
    }
};

}  // namespace rm7

QTEST_MAIN(rm7::PortPageTest)
#include "port_page_test.moc"
