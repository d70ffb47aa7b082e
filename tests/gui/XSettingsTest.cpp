#include "gui/XSettings.h"
#include "tests/core/ScopedEnv.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include <xcb/xcb.h>

using namespace Gui;

namespace {

// Builds the property as a settings manager writes it, in either byte order.
class Blob {
public:
    explicit Blob(bool bigEndian) : bigEndian_(bigEndian) {}

    Blob& integer(const std::string& name, uint32_t value) {
        header(0, name);
        card(value, 4);
        ++count_;
        return *this;
    }
    Blob& string(const std::string& name, const std::string& value) {
        header(1, name);
        card(static_cast<uint32_t>(value.size()), 4);
        padded(value);
        ++count_;
        return *this;
    }
    Blob& colour(const std::string& name) {
        header(2, name);
        for (int i = 0; i < 4; ++i)
            card(0x1234, 2);
        ++count_;
        return *this;
    }
    std::vector<uint8_t> bytes() const {
        Blob head(bigEndian_);
        head.out_ = {uint8_t(bigEndian_ ? 1 : 0), 0, 0, 0};
        head.card(7, 4); // serial
        head.card(count_, 4);
        std::vector<uint8_t> all = head.out_;
        all.insert(all.end(), out_.begin(), out_.end());
        return all;
    }

private:
    void header(uint8_t type, const std::string& name) {
        out_.push_back(type);
        out_.push_back(0);
        card(static_cast<uint32_t>(name.size()), 2);
        padded(name);
        card(3, 4); // last change serial
    }
    void card(uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            const int shift = 8 * (bigEndian_ ? bytes - 1 - i : i);
            out_.push_back(uint8_t(value >> shift));
        }
    }
    void padded(const std::string& text) {
        out_.insert(out_.end(), text.begin(), text.end());
        while (out_.size() % 4)
            out_.push_back(0);
    }

    bool bigEndian_;
    uint32_t count_ = 0;
    std::vector<uint8_t> out_;
};

std::vector<uint8_t> sample(bool bigEndian) {
    return Blob(bigEndian)
        .integer("Net/DoubleClickTime", 400)
        .colour("Gtk/Colour")
        .string("Net/ThemeName", "Plain")
        .string("Net/IconThemeName", "Fixture-Icons")
        .string("Gtk/FontName", "Sans 10")
        .bytes();
}

TEST(XSettings, FindsAStringSettingInEitherByteOrder) {
    for (const bool bigEndian : {false, true}) {
        const auto data = sample(bigEndian);
        EXPECT_EQ(xsettings::stringValue(data, "Net/IconThemeName"), "Fixture-Icons") << bigEndian;
        EXPECT_EQ(xsettings::stringValue(data, "Gtk/FontName"), "Sans 10") << bigEndian;
        EXPECT_EQ(xsettings::stringValue(data, "Net/DoubleClickTime"), std::nullopt)
            << "not a string";
        EXPECT_EQ(xsettings::stringValue(data, "Net/Icon"), std::nullopt) << "whole names only";
    }
}

TEST(XSettings, DamagedDataGivesNothingButWhatCameBefore) {
    const auto data = sample(false);
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
    };
    std::vector<uint8_t> badOrder = data;
    badOrder[0] = 2;
    std::vector<uint8_t> unknownType = Blob(false).string("A", "x").bytes();
    unknownType[12] = 9;
    std::vector<uint8_t> huge = Blob(false).string("Net/IconThemeName", "x").bytes();
    huge[12 + 4 + 20 + 4] = 0xFF; // the value's length: far beyond the end
    const Case cases[] = {
        {"empty", {}},
        {"byte order neither 0 nor 1", badOrder},
        {"unknown type stops the walk", unknownType},
        {"value longer than the data", huge},
    };
    for (const auto& c : cases)
        EXPECT_EQ(xsettings::stringValue(c.data, "Net/IconThemeName"), std::nullopt) << c.name;

    // Data cut anywhere gives the value exactly when all of it is there.
    const size_t end = Blob(false)
                           .integer("Net/DoubleClickTime", 400)
                           .colour("Gtk/Colour")
                           .string("Net/ThemeName", "Plain")
                           .string("Net/IconThemeName", "Fixture-Icons")
                           .bytes()
                           .size();
    for (size_t size = 0; size < data.size(); ++size) {
        const std::vector<uint8_t> cut(data.begin(), data.begin() + size);
        const auto expected =
            size >= end ? std::optional<std::string>("Fixture-Icons") : std::nullopt;
        EXPECT_EQ(xsettings::stringValue(cut, "Net/IconThemeName"), expected) << size;
        EXPECT_EQ(xsettings::stringValue(cut, "Gtk/FontName"), std::nullopt) << size;
    }
}

// A settings manager of our own on the test's X server: it owns the
// selection of the default screen and publishes the property.
class SettingsManager {
public:
    SettingsManager() : connection_(xcb_connect(nullptr, &screenNumber_), &xcb_disconnect) {}

    bool start(const std::vector<uint8_t>& data) {
        if (xcb_connection_has_error(connection_.get()))
            return false;
        xcb_connection_t* c = connection_.get();
        xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber_; ++i)
            xcb_screen_next(&screens);
        window_ = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, screens.data->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t settings = atom("_XSETTINGS_SETTINGS");
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, window_, settings, settings, 8,
                            static_cast<uint32_t>(data.size()), data.data());
        xcb_set_selection_owner(c, window_, atom("_XSETTINGS_S" + std::to_string(screenNumber_)),
                                XCB_CURRENT_TIME);
        free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); // a round trip
        return true;
    }

private:
    xcb_atom_t atom(const std::string& name) {
        xcb_connection_t* c = connection_.get();
        auto* reply = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<uint16_t>(name.size()), name.c_str()), nullptr);
        const xcb_atom_t value = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
        free(reply);
        return value;
    }

    int screenNumber_ = 0;
    std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection_;
    xcb_window_t window_ = 0;
};

TEST(XSettingsOnDisplay, ReadsTheSettingsManagersProperty) {
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "no X display";
    {
        qvtest::ScopedEnv env;
        env.set("DISPLAY", ":qv-no-such-display");
        EXPECT_TRUE(xsettings::read().empty());
    }
    const auto data = sample(false);
    SettingsManager manager;
    ASSERT_TRUE(manager.start(data));
    const auto read = xsettings::read();
    EXPECT_EQ(read, data);
    EXPECT_EQ(xsettings::stringValue(read, "Net/IconThemeName"), "Fixture-Icons");
}

} // namespace
