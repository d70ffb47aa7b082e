#include "gui/XSettings.h"

#include <cstdlib>
#include <memory>

#include <xcb/xcb.h>

namespace Gui::xsettings {
namespace {

// The property is read up to this many bytes; a settings manager publishes
// a few kilobytes.
constexpr uint32_t kMaxBytes = 256 * 1024;

enum Type : uint8_t { typeInteger = 0, typeString = 1, typeColour = 2 };

// Reads the property's fields in its own byte order, never past its end.
class Reader {
public:
    Reader(std::span<const uint8_t> data, bool bigEndian) : data_(data), bigEndian_(bigEndian) {}

    bool has(uint64_t bytes) const { return data_.size() - pos_ >= bytes; }
    bool skip(uint64_t bytes) {
        if (!has(bytes))
            return false;
        pos_ += static_cast<size_t>(bytes);
        return true;
    }
    std::optional<uint32_t> card(int bytes) {
        if (!has(bytes))
            return std::nullopt;
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            const uint32_t byte = data_[pos_ + (bigEndian_ ? i : bytes - 1 - i)];
            value = value << 8 | byte;
        }
        pos_ += bytes;
        return value;
    }
    // Text of that length, padded to a multiple of 4 bytes.
    std::optional<std::string> text(uint32_t length) {
        const uint64_t padded = (uint64_t(length) + 3) / 4 * 4;
        if (!has(padded))
            return std::nullopt;
        std::string value(reinterpret_cast<const char*>(data_.data() + pos_), length);
        pos_ += static_cast<size_t>(padded);
        return value;
    }

private:
    std::span<const uint8_t> data_;
    bool bigEndian_;
    size_t pos_ = 0;
};

struct Disconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;
template <typename Reply> ReplyPtr<Reply> owned(Reply* reply) {
    return ReplyPtr<Reply>(reply, &std::free);
}

xcb_atom_t existingAtom(xcb_connection_t* connection, const std::string& name) {
    const auto cookie =
        xcb_intern_atom(connection, 1, static_cast<uint16_t>(name.size()), name.c_str());
    const auto reply = owned(xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

xcb_window_t selectionOwner(xcb_connection_t* connection, int screen) {
    const xcb_atom_t selection = existingAtom(connection, "_XSETTINGS_S" + std::to_string(screen));
    if (selection == XCB_ATOM_NONE)
        return XCB_WINDOW_NONE;
    const auto reply = owned(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    return reply ? reply->owner : xcb_window_t(XCB_WINDOW_NONE);
}

} // namespace

std::vector<uint8_t> read() {
    int screen = 0;
    Connection connection(xcb_connect(nullptr, &screen));
    if (xcb_connection_has_error(connection.get()))
        return {};
    const xcb_window_t owner = selectionOwner(connection.get(), screen);
    const xcb_atom_t settings = existingAtom(connection.get(), "_XSETTINGS_SETTINGS");
    if (owner == XCB_WINDOW_NONE || settings == XCB_ATOM_NONE)
        return {};
    // An owner that went away meanwhile gives an error, which is no reply.
    const auto reply = owned(xcb_get_property_reply(
        connection.get(),
        xcb_get_property(connection.get(), 0, owner, settings, settings, 0, kMaxBytes / 4),
        nullptr));
    if (!reply || reply->type != settings || reply->format != 8)
        return {};
    const auto* bytes = static_cast<const uint8_t*>(xcb_get_property_value(reply.get()));
    return {bytes, bytes + xcb_get_property_value_length(reply.get())};
}

// The layout: byte order (0 least significant byte first, 1 most), three
// bytes of padding, a serial, the number of settings; then each setting:
// its type, a padding byte, its name's length and name (padded to 4), the
// serial of its last change, and its value: an integer, a string (length
// and text, padded to 4) or a colour of four 16-bit values.
std::optional<std::string> stringValue(std::span<const uint8_t> data, std::string_view name) {
    if (data.empty() || data[0] > 1)
        return std::nullopt;
    Reader reader(data, data[0] == 1);
    if (!reader.skip(8))
        return std::nullopt;
    const auto count = reader.card(4);
    for (uint32_t i = 0; count && i < *count; ++i) {
        const auto type = reader.card(1);
        if (!type || !reader.skip(1))
            return std::nullopt;
        const auto nameLength = reader.card(2);
        const auto settingName = nameLength ? reader.text(*nameLength) : std::nullopt;
        if (!settingName || !reader.skip(4))
            return std::nullopt;
        if (*type == typeString) {
            const auto length = reader.card(4);
            auto value = length ? reader.text(*length) : std::nullopt;
            if (!value)
                return std::nullopt;
            if (*settingName == name)
                return value;
        } else if (!reader.skip(*type == typeInteger ? 4 : *type == typeColour ? 8 : UINT64_MAX)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

} // namespace Gui::xsettings
