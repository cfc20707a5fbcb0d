#include <waterline/image/ExifOrientation.h>

#include <libexif/exif-data.h>

#include <iterator>
#include <vector>

namespace waterline::image {

int readExifOrientation(std::span<const std::uint8_t> jpegBytes)
{
    if (jpegBytes.size() > 0xFFFFFFFFu)
        return 1;
    ExifData* exif = exif_data_new();
    if (!exif)
        return 1;
    // Only the orientation matters: skip the maker notes, whose vendor formats are the
    // most fragile part of a foreign file.
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(exif, EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    exif_data_load_data(exif, jpegBytes.data(), static_cast<unsigned>(jpegBytes.size()));

    int orientation = 1;
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->size >= 2 && entry->data) {
        int value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        if (value >= 1 && value <= 8)
            orientation = value;
    }
    exif_data_unref(exif);
    return orientation;
}

int readExifBlockOrientation(std::span<const std::uint8_t> exifBlock)
{
    // libexif finds a block by the "Exif\0\0" header a JPEG's APP1 segment carries.
    static constexpr std::uint8_t kHeader[] = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<std::uint8_t> withHeader(std::begin(kHeader), std::end(kHeader));
    withHeader.insert(withHeader.end(), exifBlock.begin(), exifBlock.end());
    return readExifOrientation(withHeader);
}

bool exifOrientationSwapsSides(int exifOrientation)
{
    return exifOrientation >= 5 && exifOrientation <= 8;
}

} // namespace waterline::image
