// Any bytes at all as a backup's manifest: the JSON reader and the manifest's strict reading
// must give a defined result, and a manifest they take must write back to a text that reads
// to the same manifest.

#include "common/json.h"
#include "transfer/manifest.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    zar4::JsonValue value;
    std::string why;
    if (!zar4::parseJson(text, value, why) && why.empty())
        std::abort();

    zar4::Manifest manifest;
    if (!zar4::parseManifest(text, manifest, why))
        return 0;
    const std::string written = zar4::manifestText(manifest);
    zar4::Manifest again;
    if (!zar4::parseManifest(written, again, why) || zar4::manifestText(again) != written)
        std::abort();
    return 0;
}
