// A simulated varDex whose every command line is recorded, and the program's
// modal dialogs and message boxes answered by script.
#pragma once

#include <gtest/gtest.h>

#include <QTimer>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/application.h"
#include "app/prop_sheet.h"
#include "device.h"
#include "pty_device.h"
#include "scoped_env.h"
#include "scripted_peer.h"
#include "temp_files.h"
#include "time_scale.h"
#include "ui/device/cancel_confirm_dialog.h"
#include "ui/device/comm_progress_dialog.h"
#include "ui/device/device_list_dialog.h"
#include "ui/dialog.h"
#include "ui/message_box.h"
#include "ui/pages/storage_confirm_dialog.h"
#include "ui/pages/x25_dialog.h"
#include "ui/selftest/self_test_progress.h"

namespace vardex::test {

// The simulator's device state machine behind a scripted peer, so that the
// lines the program sent can be read back.
class RecordedDevice {
public:
    explicit RecordedDevice(sim::DeviceOptions options = {})
        : device_(std::move(options), [this](std::string_view bytes) { out_.append(bytes); }),
          peer_([this](const std::string& line) { return Respond(line); }) {}

    const std::string& Path() const { return peer_.SlavePath(); }
    std::vector<std::string> Lines() const { return peer_.Lines(); }
    bool Sent(const std::string& line) const {
        for (const auto& l : Lines()) {
            if (l == line) {
                return true;
            }
        }
        return false;
    }
    template <typename F>
    void Modify(F&& f) {
        std::lock_guard lock(mutex_);
        f(device_);
    }

private:
    std::string Respond(const std::string& line) {
        std::lock_guard lock(mutex_);
        out_.clear();
        device_.Feed(line + "\r");
        return out_;
    }

    std::mutex mutex_;
    std::string out_;
    sim::Device device_;
    ScriptedPeer peer_;
};

// A recorded device of one country variant ("ATI3"'s country).
template <const char* kCountry>
class CountryDevice : public RecordedDevice {
public:
    CountryDevice() : RecordedDevice(sim::DeviceOptions{.country = kCountry}) {}
    int Register(int number) {
        int value = 0;
        Modify([&](sim::Device& d) { value = d.Register(number); });
        return value;
    }
    std::string Address() {
        std::string value;
        Modify([&](sim::Device& d) { value = d.X121Address(); });
        return value;
    }
};

// Hooks every modal run and message box of the program for one test.
class ScriptedUi {
public:
    ScriptedUi() {
        ui::SetMessageBoxHook([this](const ui::MessageBoxCall& call) {
            messages.push_back(call);
            switch (call.buttons) {
                case ui::MessageButtons::YesNo:
                    return message_answer;
                case ui::MessageButtons::DiscardApplyKeep:
                    return close_answer;
                case ui::MessageButtons::Ok:
                    break;
            }
            return QMessageBox::Ok;
        });
        ui::CDialog::SetModalHook([this](ui::CDialog* dialog) { Dispatch(dialog); });
    }
    ~ScriptedUi() {
        ui::SetMessageBoxHook({});
        ui::CDialog::SetModalHook({});
    }

    bool Said(const std::string& prefix) const {
        for (const auto& m : messages) {
            if (m.text.rfind(prefix, 0) == 0) {
                return true;
            }
        }
        return false;
    }

    std::vector<ui::MessageBoxCall> messages;
    QMessageBox::StandardButton message_answer = QMessageBox::Yes;
    // Closing with changes not yet applied: Discard, Apply or Cancel (keep editing).
    QMessageBox::StandardButton close_answer = QMessageBox::Discard;
    int progress_dialogs = 0;
    int device_lists = 0;
    int storage_dialogs = 0;
    int x25_dialogs = 0;
    // What the device list does; OK when empty.
    std::function<void(ui::CDeviceListDialog*)> on_device_list;
    // What the storage confirmation does; Cancel when empty.
    std::function<void(ui::CStorageConfirmDialog*)> on_storage;
    std::function<void(ui::CCommProgressDialog*)> on_progress;
    std::function<void(ui::CCancelConfirmDialog*)> on_cancel_confirm;
    // What the person does in a self-test window (a timer may be set up here).
    std::function<void(ui::CSelfTestProgress*)> on_self_test;
    // Sees any other dialog before it ends with OK.
    std::function<void(ui::CDialog*)> on_other;
    // What the X.25 properties do; OK when empty.
    std::function<void(ui::CX25PropertiesDialog*)> on_x25;

private:
    void Dispatch(ui::CDialog* dialog) {
        if (auto* progress = dynamic_cast<ui::CCommProgressDialog*>(dialog)) {
            ++progress_dialogs;
            if (on_progress) {
                on_progress(progress);
            }
        } else if (auto* list = dynamic_cast<ui::CDeviceListDialog*>(dialog)) {
            ++device_lists;
            if (on_device_list) {
                on_device_list(list);
            } else {
                dialog->Item<QAbstractButton>(1)->click();
            }
        } else if (auto* storage = dynamic_cast<ui::CStorageConfirmDialog*>(dialog)) {
            ++storage_dialogs;
            if (on_storage) {
                on_storage(storage);
            } else {
                dialog->Item<QAbstractButton>(2)->click();
            }
        } else if (auto* x25 = dynamic_cast<ui::CX25PropertiesDialog*>(dialog)) {
            ++x25_dialogs;
            if (on_x25) {
                on_x25(x25);
            } else {
                dialog->Item<QAbstractButton>(1)->click();
            }
        } else if (auto* confirm = dynamic_cast<ui::CCancelConfirmDialog*>(dialog)) {
            if (on_cancel_confirm) {
                on_cancel_confirm(confirm);
            }
        } else if (auto* self_test = dynamic_cast<ui::CSelfTestProgress*>(dialog)) {
            // Its test ends it; ending it here would leave the worker behind.
            if (on_self_test) {
                on_self_test(self_test);
            }
        } else if (dynamic_cast<ui::CPropSheet*>(dialog) == nullptr) {
            if (on_other) {
                on_other(dialog);
            }
            dialog->EndDialog(QDialog::Accepted);
        }
    }
};

// The simulator on a pseudo-terminal of its own, started at once: the
// byte-level exchanges (the firmware loader) need the real thing.
class StartedPtyDevice : public sim::PtyDevice {
public:
    explicit StartedPtyDevice(sim::DeviceOptions options = {}) : PtyDevice(std::move(options)) {
        platform::SysError error;
        EXPECT_TRUE(Start(&error)) << error.Message();
    }
};

// The whole program on a simulated device: start-up, the first read, then the
// test's steps inside the running sheet, then the sheet closes.
template <typename Device>
class ProgramFixture : public ::testing::Test {
protected:
    static constexpr double kScale = kAnswerScale;

    ProgramFixture() : scale_(kScale), env_("VARDEX_PORTS", device_.Path()) {
        env_.Set("XDG_STATE_HOME", TempPath("state"));  // the backups of the writes
    }

    // Runs the program; after_read runs (from the sheet's own loop) once the
    // first read has filled the pages; the sheet is then closed unless the steps
    // ended it. A bounded deadline ends a program that hangs.
    void RunProgram(const std::function<void(ui::CPropSheet&)>& after_read,
                    const QStringList& words = {QStringLiteral("vardex-config")}) {
        app_.InitInstance(words, [&](ui::CPropSheet& sheet) {
            sheet_ = &sheet;
            sheet.m_onReadDone = [&sheet, after_read, this] {
                if (read_done_) {
                    return;  // later reads belong to the test's steps
                }
                read_done_ = true;
                QTimer::singleShot(0, &sheet, [&sheet, after_read] {
                    if (after_read) {
                        after_read(sheet);
                    }
                    if (!sheet.Ended()) {
                        sheet.EndDialog(QDialog::Accepted);
                    }
                });
            };
            auto* deadline = new QTimer(&sheet);
            deadline->setSingleShot(true);
            QObject::connect(deadline, &QTimer::timeout, &sheet, [&sheet, this] {
                timed_out_ = true;
                sheet.EndDialog(QDialog::Rejected);
            });
            deadline->start(60000);
        });
        sheet_ = nullptr;
        ASSERT_FALSE(timed_out_);
    }

    params::CDeviceConfig& W() { return app_.Core().m_workingRecord; }

    ScopedTimeScale scale_;
    Device device_;
    ScopedEnv env_;
    ScriptedUi ui_;
    ui::CVarDexApplication app_;
    ui::CPropSheet* sheet_ = nullptr;
    bool read_done_ = false;
    bool timed_out_ = false;
};

using ProgramTest = ProgramFixture<RecordedDevice>;
using PtyProgramTest = ProgramFixture<StartedPtyDevice>;

}  // namespace vardex::test
