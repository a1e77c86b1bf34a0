#include "ctl/backup_compare.h"

#include "ctl/ctl_events.h"
#include "patterns/pattern_view_mapping.h"

namespace zar4::ctl {

std::string describe(const Difference& d, const char* expectedLabel, const char* actualLabel) {
    std::string text = itemName(d.kind, d.item) + ": ";
    switch (d.what) {
    case Difference::What::Missing:
        return text + d.file + " is missing";
    case Difference::What::Word:
        text += "word " + std::to_string(d.word);
        if (!d.field.empty())
            text += " (" + d.field + ")";
        return text + ": " + expectedLabel + " " + std::to_string(d.expected) + ", " + actualLabel +
               " " + std::to_string(d.actual);
    case Difference::What::Pixels:
        return text + std::to_string(d.pixels) +
               (d.pixels == 1 ? " pixel differs" : " pixels differ") + " (" +
               std::to_string(d.maskOnly) + " only in the mask), X " + std::to_string(d.xMin) +
               "-" + std::to_string(d.xMax) + ", Y " + std::to_string(d.yMin) + "-" +
               std::to_string(d.yMax);
    }
    return text;
}

JsonObject differenceEvent(const Difference& d) {
    JsonObject event = JsonObject::event("difference");
    addItem(event, d.kind, d.item);
    switch (d.what) {
    case Difference::What::Missing:
        event.add("what", "missing").add("file", d.file);
        break;
    case Difference::What::Word:
        event.add("what", "word").add("word", d.word);
        if (d.field.empty())
            event.addNull("field");
        else
            event.add("field", d.field);
        event.add("expected", static_cast<std::int64_t>(d.expected))
            .add("actual", static_cast<std::int64_t>(d.actual));
        break;
    case Difference::What::Pixels: {
        JsonObject box;
        box.add("xMin", d.xMin).add("xMax", d.xMax).add("yMin", d.yMin).add("yMax", d.yMax);
        event.add("what", "pixels")
            .add("pixels", d.pixels)
            .add("maskOnly", d.maskOnly)
            .add("box", box);
        break;
    }
    }
    return event;
}

std::vector<std::uint8_t> differencePicture(const std::vector<std::uint8_t>& raster,
                                            const std::vector<bool>& marks) {
    std::vector<std::uint8_t> rgb(static_cast<std::size_t>(kPictureWidth * kPictureHeight * 3));
    for (int py = 0; py < kPictureHeight; ++py) {
        for (int px = 0; px < kPictureWidth; ++px) {
            const auto index = static_cast<std::size_t>(viewPixelIndex(px, py));
            std::uint32_t colour = 0xFF0000; // red: the editor shows nothing in red
            if (index >= marks.size() || !marks[index])
                colour = viewColourOf(&raster[index * 3]);
            std::uint8_t* out = &rgb[static_cast<std::size_t>(py * kPictureWidth + px) * 3];
            out[0] = static_cast<std::uint8_t>(colour >> 16);
            out[1] = static_cast<std::uint8_t>(colour >> 8);
            out[2] = static_cast<std::uint8_t>(colour);
        }
    }
    return rgb;
}

} // namespace zar4::ctl
