#include "link/port_discovery.h"

#include <cctype>
#include <sstream>

namespace zar4 {

namespace {

std::string property(const DeviceProperties& properties, const char* key) {
    const auto it = properties.find(key);
    return it == properties.end() ? std::string() : it->second;
}

// The first of `keys` that the device has, non-empty.
std::string firstProperty(const DeviceProperties& properties,
                          std::initializer_list<const char*> keys) {
    for (const char* key : keys) {
        std::string value = property(properties, key);
        if (!value.empty()) {
            return value;
        }
    }
    return {};
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// udev writes the strings a device reports with \xNN for blanks and other unsafe bytes
// ("FT232R\x20USB\x20UART"); decoded, they read as the device gave them.
std::string decodeEscapes(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            const int hi = hexDigit(text[i + 2]);
            const int lo = hexDigit(text[i + 3]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    // Devices pad their names with blanks; the padding says nothing.
    const auto last = out.find_last_not_of(' ');
    return last == std::string::npos ? std::string() : out.substr(0, last + 1);
}

std::string lowerHex(std::string id) {
    for (char& c : id) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return id;
}

// The number that ends a path ("ttyUSB12" -> 12) and where it starts.
std::size_t trailingNumberStart(const std::string& s) {
    std::size_t i = s.size();
    while (i > 0 && std::isdigit(static_cast<unsigned char>(s[i - 1]))) {
        --i;
    }
    return i;
}

} // namespace

SerialDevice serialDeviceFromProperties(const DeviceProperties& properties) {
    SerialDevice d;
    d.device = property(properties, "DEVNAME");
    std::istringstream links(property(properties, "DEVLINKS"));
    for (std::string link; links >> link;) {
        if (link.rfind("/dev/serial/by-id/", 0) == 0) {
            d.byId = link;
            break;
        }
    }
    d.bus = property(properties, "ID_BUS");
    d.vendorId = lowerHex(property(properties, "ID_VENDOR_ID"));
    d.productId = lowerHex(property(properties, "ID_MODEL_ID"));
    d.manufacturer = decodeEscapes(
        firstProperty(properties, {"ID_VENDOR_ENC", "ID_VENDOR", "ID_VENDOR_FROM_DATABASE"}));
    d.product = decodeEscapes(
        firstProperty(properties, {"ID_MODEL_ENC", "ID_MODEL", "ID_MODEL_FROM_DATABASE"}));
    d.serial = property(properties, "ID_SERIAL_SHORT");
    d.driver = firstProperty(properties, {"ID_USB_DRIVER", "DRIVER"});
    return d;
}

bool deviceOrder(const std::string& a, const std::string& b) {
    const std::size_t na = trailingNumberStart(a);
    const std::size_t nb = trailingNumberStart(b);
    const std::string stemA = a.substr(0, na);
    const std::string stemB = b.substr(0, nb);
    if (stemA != stemB || na == a.size() || nb == b.size()) {
        return a < b;
    }
    const std::string numA = a.substr(na);
    const std::string numB = b.substr(nb);
    if (numA.size() != numB.size()) {
        return numA.size() < numB.size();
    }
    return numA < numB;
}

} // namespace zar4
