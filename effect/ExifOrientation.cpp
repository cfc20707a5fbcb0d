#include "ExifOrientation.h"

#include <libexif/exif-data.h>

namespace waterline {

std::optional<PictureOrientation> orientationForExifValue(int exifValue)
{
    switch (exifValue) {
    case 1:
        return PictureOrientation::Up;
    case 3:
        return PictureOrientation::Down;
    case 8:
        return PictureOrientation::Left;
    case 6:
        return PictureOrientation::Right;
    case 2:
        return PictureOrientation::UpMirrored;
    case 4:
        return PictureOrientation::DownMirrored;
    case 5:
        return PictureOrientation::LeftMirrored;
    case 7:
        return PictureOrientation::RightMirrored;
    default:
        return std::nullopt;
    }
}

PictureOrientation readExifOrientation(std::span<const std::uint8_t> jpegBytes)
{
    if (jpegBytes.size() > 0xFFFFFFFFu)
        return PictureOrientation::Up;
    ExifData* exif = exif_data_new();
    if (!exif)
        return PictureOrientation::Up;
    // Only the orientation matters: skip the maker notes, whose vendor formats are the
    // most fragile part of a foreign file.
    exif_data_unset_option(exif, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_set_option(exif, EXIF_DATA_OPTION_DONT_CHANGE_MAKER_NOTE);
    exif_data_load_data(exif, jpegBytes.data(), static_cast<unsigned>(jpegBytes.size()));

    auto orientation = PictureOrientation::Up;
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (entry && entry->format == EXIF_FORMAT_SHORT && entry->components >= 1 && entry->size >= 2 && entry->data) {
        int value = exif_get_short(entry->data, exif_data_get_byte_order(exif));
        orientation = orientationForExifValue(value).value_or(PictureOrientation::Up);
    }
    exif_data_unref(exif);
    return orientation;
}

} // namespace waterline
