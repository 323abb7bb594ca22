// The whole program, headless, on a simulated varDex behind ser2net: the
// start-up search finds it as COM1 and the first read fills the pages.
#include <QAbstractButton>
#include <QLineEdit>

#include "gui_fixture.h"
#include "port_server.h"

namespace vardex::test {
namespace {

using ui::CPropSheet;
using ui::CUpgradePage;

// The simulator on its pseudo-terminal with a server in front; Path() is the
// server's address, which the fixture maps to COM1.
class ServedPtyDevice : public StartedPtyDevice {
public:
    ServedPtyDevice() {
        const auto started = server_.Start(StartedPtyDevice::Path());
        EXPECT_TRUE(started) << started.error();
        url_ = server_.Url();
    }
    const std::string& Path() const { return url_; }

private:
    PortServer server_;
    std::string url_;
};

using NetworkProgramTest = ProgramFixture<ServedPtyDevice>;

TEST_F(NetworkProgramTest, StartUpFindsTheDeviceAsComOneAndReadsIt) {
    QString country, firmware, crc;
    RunProgram([&](CPropSheet& sheet) {
        const auto text = [&sheet](int id) {
            return sheet.InformationPage().Item<QLineEdit>(id)->text();
        };
        country = text(CUpgradePage::IDC_COUNTRY);
        firmware = text(CUpgradePage::IDC_FIRMWARE);
        crc = text(CUpgradePage::IDC_CRC);
    });
    EXPECT_TRUE(read_done_);
    EXPECT_EQ(ui_.device_lists, 1);
    EXPECT_TRUE(ui_.messages.empty());
    EXPECT_EQ(country.toStdString(), "Hungary");
    EXPECT_EQ(firmware.toStdString(), "2.10");
    EXPECT_EQ(crc.toStdString(), "CRC: 5A3C");
    EXPECT_EQ(W().m_bUsbConnection, 0);
}

}  // namespace
}  // namespace vardex::test
